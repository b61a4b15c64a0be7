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
    mCanal.informer(QStringLiteral("Aucune nouvelle, réinitialisation..."));
    if (!mCanal.patienter([&] { mCanal.deconnecter(); })
        || !mCanal.patienter([&] { MGlobal::Attendre(mCanal.env().plateforme, 1000); }))
        return;
    bool relance = false;
    if (mCanal.patienter([&] { relance = mCanal.connecter(); }))
        mCanal.informer(relance ? QStringLiteral("Réinitialisation effectuée") : QStringLiteral("Erreur de réinitialisation"));
}

void Superviseur::echeanceSurveillance()
{
    if (mSupervision.compter() < 6)
        return;
    bool relie = false;
    if (!mCanal.patienter([&] { relie = mCanal.testerLiaison(false); }))
        return;
    if (relie)
        mSupervision.setCompteur(0);
    else
        reinitialiser();
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
    mSupervision.arreter();
    for (int i = 0; i < 10; ++i)
        if (!mCanal.patienter([&] { MGlobal::Attendre(mCanal.env().plateforme, 200); }))
            return;
    bool relie = false;
    if (!mCanal.patienter([&] { relie = mCanal.testerLiaison(true); }))
        return;
    if (relie) {
        if (mCanal.patienter([&] { mCanal.lienConstate(); }))
            mCanal.armer(GenreSupervision::Surveillance);
        return;
    }
    if (mCanal.erreurDeLigne() <= 3) {
        mSupervision.reprendre();
    } else {
        mCanal.raccrocherEtRappeler();
    }
}
