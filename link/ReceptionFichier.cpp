#include "link/ReceptionFichier.h"

#include "link/CanalLiaison.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/EtatCase.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"
#include "serial/FComm.h"

namespace {
constexpr qint64 taillePartie = 1024;

qint32 nombre3(const QByteArray &texte, bool &ok)
{
    ok = texte.size() == 3 && std::all_of(texte.begin(), texte.end(), [](char c) { return c >= '0' && c <= '9'; });
    return ok ? texte.toInt() : 0;
}
}

ReceptionFichier::ReceptionFichier(CanalLiaison &canal) : mCanal(canal)
{}

bool ReceptionFichier::surAnnonce(const QByteArray &)
{
    mEtendue.suspendre();
    mCanal.proprietaire().setCocheSynchro(EtatCase::Decoche);
    mCanal.avancementReception({});
    debut();
    mCanal.informer(QStringLiteral("Un fichier va arriver..."));
    if (mCanal.repondre("OKFICHIER").repondue())
        echangeRecu();
    return true;
}

bool ReceptionFichier::surPartie(const QByteArray &Texte)
{
    bool complet = false, doublon = false;
    const bool sain = recevoirPartie(Texte.mid(12), complet, doublon);
    // The last part again: its answer was lost, or the file could not be stored yet.
    if (sain && complet && (!doublon || !mRangee))
        return surFichierEntier(mParties);
    if (sain && complet) {
        if (!mCanal.repondre("OKFICHIER").terminee())
            fin();
        return true;
    }
    if (!sain)
        mCanal.informer(QStringLiteral("Erreur de réception"));
    if (mCanal.repondre(!sain ? QByteArray("ERREURPARTFIC") : complet ? QByteArray("OKFICHIER") : QByteArray("OKPARTFIC")).repondue())
        echangeRecu();
    return true;
}

bool ReceptionFichier::surFichierEntier(const QByteArray &Texte)
{
    // The file is on disk before it is acknowledged: a sender deletes its copy on "OKFICHIER".
    mCanal.avancementReception({});
    QByteArray reste = Texte.mid(12);
    const QByteArray empreinte = RangementFichier::empreinte(reste);
    const bool doublon = mRangement.dejaRecu(empreinte);
    bool range = doublon;
    if (!mCanal.mener([&] { range = range || mRangement.recevoirFichier(reste); }))
        return true;
    mRangee = range;
    if (doublon)
        mCanal.informer(
            QStringLiteral("Fichier %1 déjà reçu : il est acquitté sans seconde copie.")
                .arg(MGlobal::TexteDistant(
                    Windows1252::versTexte(Texte.mid(13, static_cast<unsigned char>(Texte.size() > 12 ? Texte[12] : 0))), 255)));
    else if (range)
        mRangement.retenir(empreinte);
    if (range) {
        mParties.clear();
        if (mCanal.repondre("OKFICHIER").terminee())
            return true;
    }
    fin();
    return true;
}

bool ReceptionFichier::recevoirPartie(const QByteArray &Texte, bool &Complet, bool &Doublon)
{
    Complet = false;
    Doublon = false;
    bool okI = false, okP = false;
    const qint32 i = nombre3(Texte.left(3), okI);
    const qint32 P = nombre3(Texte.mid(3, 3), okP);
    if (okI && okP)
        mCanal.avancementReception(AvancementFichier::parties(i + 1, P));
    const qsizetype tab = Texte.indexOf('\t', 6);
    if (!okI || !okP || i < 1 || i > P || tab < 0)
        return false; // an unreadable header is refused like a wrong key
    const QByteArray cle = Texte.mid(6, tab - 6);
    const QByteArray partie = Texte.mid(tab + 1);
    if (i == 1) {
        mParties.clear();
        mDernierePartie = 0;
        mRangee = false;
    }
    // Parts are 1024 characters: a longer one would let a peer pile up memory.
    if (partie.size() > taillePartie || MGlobal::CleDonnees(partie) != cle)
        return false;
    Complet = i == P;
    if (i == mDernierePartie) {
        Doublon = true; // its answer was lost and the sender sent it again
        return true;
    }
    if (i != mDernierePartie + 1)
        return false; // a part is missing: appending would corrupt the file
    mParties += partie;
    mDernierePartie = i;
    return true;
}

void ReceptionFichier::debut()
{
    mDebut = mCanal.env().plateforme.tickMs();
}

void ReceptionFichier::echangeRecu()
{
    mDernierEchange = mCanal.env().plateforme.tickMs();
    mCanal.armer(GenreSupervision::Reception);
}

void ReceptionFichier::fin()
{
    mDernierEchange = 0;
    ProprietaireLiaison &proprietaire = mCanal.proprietaire();
    if (proprietaire.valeurCocheConnecter() == EtatCase::Coche)
        proprietaire.setCocheSynchro(EtatCase::Coche);
    proprietaire.receptionTerminee();
    mCanal.armer(GenreSupervision::Surveillance, true);
}

void ReceptionFichier::abandonner()
{
    mParties = QByteArray();
    mDernierePartie = 0;
    mEtendue.suspendre();
}

void ReceptionFichier::fermer()
{
    mEtendue.suspendre();
    mRangement.fermer();
}

void ReceptionFichier::progression(qint32 recu, qint32 attendu)
{
    if (mCanal.env().plateforme.ecouleDepuis(mDernierEchange) <= 5000)
        return;
    if (recu < attendu)
        mCanal.armer(GenreSupervision::Reception);
    else
        mCanal.armer(GenreSupervision::Surveillance, true);
}

void ReceptionFichier::echeance()
{
    if (mCanal.ligne())
        mCanal.ligne()->ArréterAttendre();
    mCanal.arreterSupervision();
    const qint16 erreurs = mCanal.erreurDeLigne();
    if (erreurs <= 2) {
        mCanal.informer(QStringLiteral("Données incomplètes. Nouvelle tentative."));
        if (mCanal.mener([&] { MGlobal::Attendre(mCanal.env().plateforme, 1000); }))
            echangeRecu();
        return;
    }
    mDernierEchange = 0;
    abandonner();
    // The scanner, off while the file arrived, takes its turn again.
    ProprietaireLiaison &proprietaire = mCanal.proprietaire();
    if (proprietaire.valeurCocheConnecter() == EtatCase::Coche)
        proprietaire.setCocheSynchro(EtatCase::Coche);
    mCanal.informer(QStringLiteral("Données incomplètes. Arrêt de la réception"));
    mCanal.informer(QStringLiteral("Test de communication... (TO Coupure) (%1)").arg(erreurs));
    bool repond = false;
    if (!mCanal.mener([&] { repond = mCanal.testerLiaison(false); }))
        return;
    if (repond) {
        mCanal.armer(GenreSupervision::Surveillance);
    } else {
        mCanal.informer(QStringLiteral("Pas de réponse du poste distant"));
        mCanal.raccrocherEtRappeler();
    }
}
