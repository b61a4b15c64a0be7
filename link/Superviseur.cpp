#include "link/Superviseur.h"

#include "link/CanalLiaison.h"
#include "link/ErreursDeLigne.h"
#include "serial/ParametresStation.h"

namespace {
// Supervision ticks (of 10 s) before a silent link is tested or a silent modem set up again.
constexpr int ticksAvantTest = 6;
constexpr qint32 pauseAvantRappelMs = 1000;
// The called station gives the caller's first word ten short pauses more before its own test.
constexpr int pausesAvantTest = 10;
constexpr qint32 pauseCourteMs = 200;
}

void Superviseur::armer(GenreSupervision genre, bool relance, bool envoiEnCours)
{
    if (envoiEnCours && (genre == GenreSupervision::Surveillance || genre == GenreSupervision::Reception))
        return;
    mSupervision.armer(genre, mCanal.parametres().PosteAppellant, relance);
}

void Superviseur::echeance()
{
    const bool appelant = mCanal.parametres().PosteAppellant;
    switch (mSupervision.genre()) {
    case GenreSupervision::Surveillance: return echeanceSurveillance();
    case GenreSupervision::Reinitialisation: return echeanceReinitialisation();
    // Each side waits for its own: the calling side for the connection, the other for its first word.
    case GenreSupervision::Appel:
        if (appelant)
            echeanceAppel();
        return;
    case GenreSupervision::Reponse:
        if (!appelant)
            echeanceReponse();
        return;
    case GenreSupervision::Reception:
    case GenreSupervision::NonDefinie:
    case GenreSupervision::Deconnexion: return;
    }
}

void Superviseur::reinitialiser()
{
    mCanal.informer(QStringLiteral("Aucune nouvelle, réinitialisation..."));
    if (const std::optional<bool> relance = mCanal.raccrocherEtRappeler(pauseAvantRappelMs))
        mCanal.informer(*relance ? QStringLiteral("Réinitialisation effectuée") : QStringLiteral("Erreur de réinitialisation"));
}

void Superviseur::echeanceSurveillance()
{
    if (mSupervision.compter() < ticksAvantTest)
        return;
    const std::optional<bool> relie = mCanal.testerLiaison(false);
    if (!relie)
        return;
    if (*relie)
        mSupervision.setCompteur(0);
    else
        reinitialiser();
}

void Superviseur::echeanceReinitialisation()
{
    if (mSupervision.compter() < ticksAvantTest)
        return;
    mSupervision.setCompteur(0);
    reinitialiser();
}

void Superviseur::echeanceAppel()
{
    if (mSupervision.compteur() == 0) {
        mSupervision.setCompteur(1);
        return;
    }
    mCanal.informer(QStringLiteral("Pas de communication"));
    mCanal.raccrocherEtRappeler();
}

// The station that was called: the caller should have spoken by now; a link test of its own.
void Superviseur::echeanceReponse()
{
    mSupervision.arreter();
    for (int i = 0; i < pausesAvantTest; ++i)
        if (!mCanal.pause(pauseCourteMs, Portee::Liaison))
            return;
    const std::optional<bool> relie = mCanal.testerLiaison(true);
    if (!relie)
        return;
    if (*relie) {
        if (mCanal.lienConstate())
            mCanal.armer(GenreSupervision::Surveillance);
        return;
    }
    if (mCanal.erreurs().testSansReponse().suite == ErreursDeLigne::Suite::Reessayer)
        mSupervision.reprendre();
    else
        mCanal.raccrocherEtRappeler();
}
