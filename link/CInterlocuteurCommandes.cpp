// Supervision arming, command sending and the link test.
#include "CInterlocuteur.h"

#include "Minuterie.h"
#include "Plateforme.h"

void CInterlocuteur::ArmerSurveillance(bool Relance)
{
    if (!mTimeOut)
        return;
    ++mReglagesMinuterie;
    mTimeOut->setEnabled(false);
    mTimeOut->setInterval(20000 - 10000 * (PosteAppellant ? -1 : 0));
    mTimeOut->setTag(Relance ? QStringLiteral("5") : QStringLiteral("0"));
    mTimeOut->setEnabled(true);
    setTypeTimeOut(3);
}

void CInterlocuteur::ArmerReception()
{
    if (!mTimeOut)
        return;
    ++mReglagesMinuterie;
    mTimeOut->setEnabled(false);
    mTimeOut->setInterval(5000);
    mTimeOut->setEnabled(true);
    setTypeTimeOut(4);
}

void CInterlocuteur::ArmerReinitialisation(bool Relance)
{
    if (!mTimeOut)
        return;
    ++mReglagesMinuterie;
    mTimeOut->setEnabled(false);
    mTimeOut->setInterval(30000);
    mTimeOut->setTag(Relance ? QStringLiteral("5") : QStringLiteral("0"));
    mTimeOut->setEnabled(true);
    setTypeTimeOut(5);
}

void CInterlocuteur::ArmerAppel()
{
    if (!mTimeOut)
        return;
    ++mReglagesMinuterie;
    mTimeOut->setEnabled(false);
    mTimeOut->setTag(QStringLiteral("0"));
    mTimeOut->setInterval(30000);
    mTimeOut->setEnabled(true);
    setTypeTimeOut(1);
}

bool CInterlocuteur::EnvoyerCommande(const QByteArray &Texte, const QByteArray &RéponseAttendue, qint32 valTimeOut,
                                     QByteArray *RéponseReçue, const QByteArray &RéponseRefus)
{
    if (mbHorsLigne)
        return false;
    const bool minuterieActive = mTimeOut && mTimeOut->Enabled();
    if (mTimeOut)
        mTimeOut->setEnabled(false);
    const auto vivant = mVivant;
    const quint32 reglages = mReglagesMinuterie;
    bool resultat = false;
    if (FrmComm && FrmComm->Connecter() && FrmComm)
        resultat = FrmComm->Ecrire(Texte, RéponseAttendue, valTimeOut, true, RéponseReçue, RéponseRefus);
    if (!*vivant)
        return false;
    // A handler inside the wait that armed the timer for something else (a lost line, a
    // hang-up) keeps it armed.
    if (mTimeOut && reglages == mReglagesMinuterie)
        mTimeOut->setEnabled(minuterieActive);
    return resultat;
}

bool CInterlocuteur::TesterConnexion(bool AvecEvent)
{
    if (!FrmComm || !FrmComm->Connecter())
        return false;
    QByteArray commande;
    QString resultat;
    if (SvrHoraire) {
        commande = "CLK" + mContexte.env.plateforme.maintenant().toString(QStringLiteral("ddMMyyyyHHmmss")).toLatin1();
        if (!AvecEvent)
            commande += "CHUT!";
        resultat = QStringLiteral("Connexion vérifiée par synchronisation horaire");
    } else if (AvecEvent) {
        commande = "YAQUELQUUN?";
        resultat = QStringLiteral("Connexion vérifiée");
    } else {
        commande = "YAQUELQUUN?CHUT!";
        resultat = QStringLiteral("Connexion, chut!");
    }
    const auto vivant = mVivant;
    if (!EnvoyerCommande(commande, "OUI", 3000) || !*vivant)
        return false;
    if (SvrHoraire || AvecEvent)
        NbreErreurs = 0;
    QString reponse;
    CommandeReçue(resultat, reponse);
    return true;
}
