#include "link/Superviseur.h"

#include "link/CanalLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Plateforme.h"
#include "serial/ParametresStation.h"

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
    const auto vivant = mCanal.temoin();
    mCanal.informer(QStringLiteral("Aucune nouvelle, réinitialisation..."));
    mCanal.deconnecter();
    if (!vivant || mCanal.etat().termine)
        return;
    MGlobal::Attendre(mCanal.env().plateforme, 1000);
    if (!vivant || mCanal.etat().termine)
        return;
    const bool relance = mCanal.connecter();
    if (vivant)
        mCanal.informer(relance ? QStringLiteral("Réinitialisation effectuée") : QStringLiteral("Erreur de réinitialisation"));
}

void Superviseur::echeanceSurveillance()
{
    if (mSupervision.compter() < 6)
        return;
    const auto vivant = mCanal.temoin();
    if (mCanal.testerLiaison(false)) {
        if (vivant)
            mSupervision.setCompteur(0);
    } else if (vivant) {
        reinitialiser();
    }
}

void Superviseur::echeanceReinitialisation()
{
    if (mSupervision.compter() < 6)
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
    const auto vivant = mCanal.temoin();
    mSupervision.arreter();
    for (int i = 0; i < 10; ++i) {
        MGlobal::Attendre(mCanal.env().plateforme, 200);
        if (!vivant || mCanal.etat().termine)
            return;
    }
    if (mCanal.testerLiaison(true)) {
        if (!vivant)
            return;
        mCanal.lienConstate();
        if (!vivant)
            return;
        mCanal.armer(GenreSupervision::Surveillance);
        return;
    }
    if (!vivant)
        return;
    if (mCanal.erreurDeLigne() <= 3) {
        mSupervision.reprendre();
    } else {
        mCanal.raccrocherEtRappeler();
    }
}
