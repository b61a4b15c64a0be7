// Bringing the link up and down through the modems (or a direct cable).
#include "link/CInterlocuteur.h"

#include "link/ProprietaireLiaison.h"

bool CInterlocuteur::Connecter()
{
    if (mbTerminer)
        return false;
    if (bEnCours) {
        mbReconnexionRefusee = true;
        return false;
    }
    bEnCours = true;
    mbReconnexionRefusee = false;
    const auto vivant = mVie.temoin();
    const bool resultat = mConnexion.etablir();
    if (!vivant)
        return resultat;
    bEnCours = false;
    mContexte.proprietaire.curseurAttente(false);
    // A hang-up and reconnection asked for inside this call (five line errors during its link
    // test, a role change) found it busy: without this, the station would stay unlinked with
    // its supervision off for good.
    const GenreSupervision genre = mSupervision.genre();
    const bool sansSurveillance = mSupervision.minuterie()
        && (!mSupervision.active() || genre == GenreSupervision::NonDefinie || genre == GenreSupervision::Deconnexion);
    if (std::exchange(mbReconnexionRefusee, false) && !mbTerminer && sansSurveillance)
        armer(GenreSupervision::Reinitialisation);
    return resultat;
}

bool CInterlocuteur::ParamétrerModem(const QByteArray &Commande, const QString &LibelléCmde, const QByteArray &RéponseAttendue,
                                     int NbreEssais, qint32 PostTempo)
{
    return mConnexion.parametrer(Commande, LibelléCmde, RéponseAttendue, NbreEssais, PostTempo);
}

void CInterlocuteur::Déconnecter()
{
    ++mDeconnexions;
    mReception.abandonner();
    oublierCapacites();
    const auto vivant = mVie.temoin();
    mSupervision.commencerDeconnexion();
    const bool dit = mRaccrochage.direAuRevoir();
    if (!vivant)
        return;
    if (dit && mConnexion.sansModem())
        mbModemConnecte = false; // no modem will report it
    mAuth.oublier(); // after the farewell, which goes sealed
    mRaccrochage.fermerPort();
    if (vivant)
        mSupervision.setGenre(GenreSupervision::NonDefinie);
}
