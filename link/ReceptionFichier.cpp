#include "link/ReceptionFichier.h"

#include "link/CanalLiaison.h"
#include "link/ErreursDeLigne.h"
#include "link/shared/MGlobal.h"
#include "platform/Windows1252.h"

namespace {
constexpr qint64 taillePartie = 1024;
// The driver's progress on a long text counts as an exchange when the last was this long ago.
constexpr quint32 progressionSansEchangeMs = 5000;
constexpr qint32 pauseAvantNouvelleAttenteMs = 1000;

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
    mCanal.receptionCommencee();
    mCanal.avancementReception({});
    debut();
    mCanal.informer(QStringLiteral("Un fichier va arriver..."));
    if (mCanal.repondre("OKFICHIER").repondue())
        echangeRecu();
    return true;
}

bool ReceptionFichier::surPartie(const QByteArray &Texte)
{
    const auto [sain, complet, doublon] = recevoirPartie(Texte.mid(12));
    // The last part again: its answer was lost, or the file could not be stored yet.
    if (sain && complet && (!doublon || !mRangee))
        return surFichierEntier(mParties);
    if (sain && complet) {
        if (!mCanal.repondre("OKFICHIER").fin())
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
    const std::optional<bool> range = doublon ? true : mCanal.mener([&] { return mRangement.recevoirFichier(reste); });
    if (!range)
        return true;
    mRangee = *range;
    if (doublon)
        mCanal.informer(
            QStringLiteral("Fichier %1 déjà reçu : il est acquitté sans seconde copie.")
                .arg(MGlobal::TexteDistant(
                    Windows1252::versTexte(Texte.mid(13, static_cast<unsigned char>(Texte.size() > 12 ? Texte[12] : 0))), 255)));
    else if (*range)
        mRangement.retenir(empreinte);
    if (*range) {
        mParties.clear();
        if (mCanal.repondre("OKFICHIER").fin())
            return true;
    }
    fin();
    return true;
}

ReceptionFichier::Partie ReceptionFichier::recevoirPartie(const QByteArray &Texte)
{
    bool okI = false, okP = false;
    const qint32 i = nombre3(Texte.left(3), okI);
    const qint32 P = nombre3(Texte.mid(3, 3), okP);
    if (okI && okP)
        mCanal.avancementReception(AvancementFichier::parties(i + 1, P));
    const qsizetype tab = Texte.indexOf('\t', 6);
    if (!okI || !okP || i < 1 || i > P || tab < 0)
        return {}; // an unreadable header is refused like a wrong key
    const QByteArray cle = Texte.mid(6, tab - 6);
    const QByteArray partie = Texte.mid(tab + 1);
    if (i == 1) {
        mParties.clear();
        mDernierePartie = 0;
        mRangee = false;
    }
    // Parts are 1024 characters: a longer one would let a peer pile up memory.
    if (partie.size() > taillePartie || MGlobal::CleDonnees(partie) != cle)
        return {};
    if (i == mDernierePartie)
        return {.sain = true, .complet = i == P, .doublon = true}; // its answer was lost and the sender sent it again
    if (i != mDernierePartie + 1)
        return {}; // a part is missing: appending would corrupt the file
    mParties += partie;
    mDernierePartie = i;
    return {.sain = true, .complet = i == P};
}

void ReceptionFichier::debut()
{
    mDebut = mCanal.tickMs();
}

void ReceptionFichier::echangeRecu()
{
    mDernierEchange = mCanal.tickMs();
    mCanal.armer(GenreSupervision::Reception);
}

void ReceptionFichier::fin()
{
    mDernierEchange = 0;
    mCanal.receptionFinie(true);
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
    if (mCanal.ecouleDepuis(mDernierEchange) <= progressionSansEchangeMs)
        return;
    if (recu < attendu)
        mCanal.armer(GenreSupervision::Reception);
    else
        mCanal.armer(GenreSupervision::Surveillance, true);
}

void ReceptionFichier::echeance()
{
    mCanal.arreterAttente();
    mCanal.arreterSupervision();
    const ErreursDeLigne::Decision decision = mCanal.erreurs().receptionEnRetard();
    if (decision.suite == ErreursDeLigne::Suite::Reessayer) {
        mCanal.informer(QStringLiteral("Données incomplètes. Nouvelle tentative."));
        if (mCanal.pause(pauseAvantNouvelleAttenteMs, Portee::Etape))
            echangeRecu();
        return;
    }
    mDernierEchange = 0;
    abandonner();
    // The scanner, off while the file arrived, takes its turn again.
    mCanal.receptionFinie(false);
    mCanal.informer(QStringLiteral("Données incomplètes. Arrêt de la réception"));
    mCanal.informer(QStringLiteral("Test de communication... (TO Coupure) (%1)").arg(decision.nombre));
    const std::optional<bool> repond = mCanal.testerLiaison(false);
    if (!repond)
        return;
    if (*repond) {
        mCanal.armer(GenreSupervision::Surveillance);
    } else {
        mCanal.informer(QStringLiteral("Pas de réponse du poste distant"));
        mCanal.raccrocherEtRappeler();
    }
}
