#include "tests/support/PortComSimule.h"

PortComSimule::PortComSimule(QString nomPort, LigneSimulee::Extremite *extremite)
    : PortCom(std::move(nomPort)), mExtremite(extremite)
{
}

PortComSimule::~PortComSimule()
{
    Fermer();
}

bool PortComSimule::Ouvrir(QString *raison)
{
    if (!verifierReglages(raison))
        return false;
    if (!mExtremite || mExtremite->retiree()) {
        return refuser(raison, QStringLiteral("Le port %1 n'existe pas.").arg(NomPort()));
    }
    if (mExtremite->proprietaire() && mExtremite->proprietaire() != this) {
        return refuser(raison, QStringLiteral("Accès refusé au port %1 : il est déjà utilisé par un autre programme.").arg(NomPort()));
    }
    mExtremite->brancher(this, [this](const QByteArray &octets) { Lecture(octets); });
    mExtremite->surRetrait = [this] {
        Fermer();
        Erreur(QStringLiteral("Le périphérique du port %1 a disparu.").arg(NomPort()), 1);
    };
    mOuvert = true;
    return true;
}

void PortComSimule::EcrireTexte(const QByteArray &texte)
{
    if (mOuvert)
        mExtremite->envoyer(texte);
}

void PortComSimule::viderEmission()
{
    if (mOuvert)
        mExtremite->annulerEmission();
}

void PortComSimule::Fermer()
{
    if (mOuvert && mExtremite) {
        mExtremite->surRetrait = nullptr;
        mExtremite->debrancher(this);
    }
    mOuvert = false;
    setActif(false);
}

void PortComSimule::signalerPorteuse(bool haute)
{
    mPorteuseSignalee = mPorteuseSignalee || haute;
    if (!haute && mPorteuseSignalee)
        PorteusePerdue();
}
