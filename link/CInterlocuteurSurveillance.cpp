// The supervision timer's tick: what each kind of waiting does when its time runs out.
#include "link/CInterlocuteur.h"
#include "platform/EtatCase.h"

#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

void CInterlocuteur::armer(GenreSupervision genre, bool relance)
{
    mSuperviseur.armer(genre, relance, mEnvoi.enCours());
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
    if (mSupervision.genre() == GenreSupervision::Reception)
        mReception.echeance();
    else
        mSuperviseur.echeance();
}

void CInterlocuteur::raccrocherEtRappeler()
{
    const auto vivant = mVie.temoin();
    Déconnecter();
    if (vivant && !mbTerminer)
        Connecter();
}

void CInterlocuteur::lienConstate()
{
    if (std::exchange(mbModemConnecte, true))
        return;
    ModemEtatConnexionChange(true);
}
