// Command sending and the link test.
#include "link/CInterlocuteur.h"

#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

bool CInterlocuteur::EnvoyerCommande(const QByteArray &Texte, const QByteArray &RéponseAttendue, qint32 valTimeOut,
                                     QByteArray *RéponseReçue, const QByteArray &RéponseRefus)
{
    if (mbHorsLigne || !mAuth.peutEnvoyer(Texte))
        return false;
    Supervision::Pause pause(mSupervision);
    const auto vivant = mVie.temoin();
    bool resultat = false;
    if (FrmComm && FrmComm->Connecter() && FrmComm)
        resultat = FrmComm->Ecrire(Texte, RéponseAttendue, valTimeOut, true, RéponseReçue, RéponseRefus);
    return vivant && resultat;
}

bool CInterlocuteur::TesterConnexion(bool AvecEvent)
{
    if (!FrmComm || !FrmComm->Connecter())
        return false;
    QByteArray commande;
    VerdictLiaison verdict = VerdictLiaison::Chut;
    // The clock goes only to a station that proved its key, where one is pinned.
    if (SvrHoraire && mAuth.autorise()) {
        commande = "CLK" + mContexte.env.plateforme.maintenant().toString(QStringLiteral("ddMMyyyyHHmmss")).toLatin1();
        if (!AvecEvent)
            commande += "CHUT!";
        verdict = VerdictLiaison::VerifieeAvecHorloge;
    } else if (AvecEvent) {
        commande = "YAQUELQUUN?";
        verdict = VerdictLiaison::Verifiee;
    } else {
        commande = "YAQUELQUUN?CHUT!";
    }
    const auto vivant = mVie.temoin();
    const quint32 envoi = mContexte.env.plateforme.tickMs();
    QByteArray reponseRecue;
    if (!EnvoyerCommande(commande, "OUI", 3000, &reponseRecue) || !vivant)
        return false;
    noterCapacites(reponseRecue, mContexte.env.plateforme.ecouleDepuis(envoi));
    // No modem reports a bare cable's link: an answered test is what shows it up.
    if (mConnexion.sansModem())
        mbModemConnecte = true;
    if (SvrHoraire || AvecEvent)
        NbreErreurs = 0;
    LiaisonVerifiee(verdict);
    return true;
}
