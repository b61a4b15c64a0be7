// The supervision timer's tick: what each kind of waiting does when its time runs out.
#include "link/CInterlocuteur.h"
#include "platform/EtatCase.h"

#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

void CInterlocuteur::armer(GenreSupervision genre, bool relance)
{
    if (mEnvoi.enCours() && (genre == GenreSupervision::Surveillance || genre == GenreSupervision::Reception))
        return;
    mSupervision.armer(genre, PosteAppellant, relance);
}

void CInterlocuteur::finEnvoi()
{
    // A file that arrived alongside and is not finished gets its own wait.
    if (mReception.enCours())
        mReception.echangeRecu();
    else
        armer(GenreSupervision::Surveillance);
}

void CInterlocuteur::TimeOut_Timer()
{
    if (!mSupervision.minuterie())
        return;
    if (mbTerminer) {
        mSupervision.arreter();
        return;
    }
    switch (mSupervision.genre()) {
    case GenreSupervision::Surveillance: return echeanceSurveillance();
    case GenreSupervision::Reception: return mReception.echeance();
    case GenreSupervision::Reinitialisation: return echeanceReinitialisation();
    // Each side waits for its own: the calling side for the connection, the other for its first word.
    case GenreSupervision::Appel:
        if (PosteAppellant)
            echeanceAppel();
        return;
    case GenreSupervision::Reponse:
        if (!PosteAppellant)
            echeanceReponse();
        return;
    case GenreSupervision::NonDefinie:
    case GenreSupervision::Deconnexion: return;
    }
}

void CInterlocuteur::raccrocherEtRappeler()
{
    const auto vivant = mVie.temoin();
    Déconnecter();
    if (vivant && !mbTerminer)
        Connecter();
}

void CInterlocuteur::reinitialiser()
{
    const auto vivant = mVie.temoin();
    Information(QStringLiteral("Aucune nouvelle, réinitialisation..."));
    Déconnecter();
    if (!vivant || mbTerminer)
        return;
    MGlobal::Attendre(mContexte.env.plateforme, 1000);
    if (!vivant || mbTerminer)
        return;
    const bool relance = Connecter();
    if (vivant)
        Information(relance ? QStringLiteral("Réinitialisation effectuée") : QStringLiteral("Erreur de réinitialisation"));
}

void CInterlocuteur::echeanceSurveillance()
{
    if (mSupervision.compter() < 6)
        return;
    const auto vivant = mVie.temoin();
    if (TesterConnexion(false)) {
        if (vivant)
            mSupervision.setCompteur(0);
    } else if (vivant) {
        reinitialiser();
    }
}

void CInterlocuteur::echeanceReinitialisation()
{
    if (mSupervision.compter() < 6)
        return;
    mSupervision.setCompteur(0);
    reinitialiser();
}

void CInterlocuteur::echeanceAppel()
{
    if (mSupervision.compteur() == 0) {
        mSupervision.setCompteur(1);
        return;
    }
    Information(QStringLiteral("Pas de communication"));
    raccrocherEtRappeler();
}

// The station that was called: the caller should have spoken by now; a link test of its own.
void CInterlocuteur::echeanceReponse()
{
    const auto vivant = mVie.temoin();
    mSupervision.arreter();
    for (int i = 0; i < 10; ++i) {
        MGlobal::Attendre(mContexte.env.plateforme, 200);
        if (!vivant || mbTerminer)
            return;
    }
    if (TesterConnexion(true)) {
        if (!vivant)
            return;
        if (!mbModemConnecte) {
            mbModemConnecte = true;
            ModemEtatConnexionChange(true);
            if (!vivant)
                return;
        }
        armer(GenreSupervision::Surveillance);
        return;
    }
    if (!vivant)
        return;
    ++NbreErreurs;
    if (NbreErreurs <= 3) {
        mSupervision.reprendre();
    } else {
        raccrocherEtRappeler();
    }
}
