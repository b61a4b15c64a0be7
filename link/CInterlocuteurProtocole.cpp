// The dialogue between the stations: what a received text is, and the driver's notifications.
#include "CInterlocuteur.h"

#include "Minuterie.h"
#include "Plateforme.h"
#include "ProprietaireLiaison.h"
#include "Windows1252.h"

void CInterlocuteur::repondre(const QByteArray &texte)
{
    EnvoyerCommande(texte, QByteArray(), 3000);
}

void CInterlocuteur::FrmComm_Reception(const QByteArray &Texte)
{
    if (mTimeOut)
        mTimeOut->setEnabled(false);
    if (FrmComm)
        FrmComm->TexteReçu_Clear();
    if (mlTypeTO == 6)
        return;
    const auto vivant = mVivant;
    if (TraiterReception(Texte) || !*vivant)
        return;
    QString reponse;
    CommandeReçue(Windows1252::versTexte(Texte), reponse);
    if (*vivant && !reponse.isEmpty())
        repondre(Windows1252::depuisTexte(reponse));
}

bool CInterlocuteur::TraiterReception(const QByteArray &Texte)
{
    NbreErreurs = 0;
    const auto vivant = mVivant;
    Plateforme &plateforme = mContexte.env.plateforme;
    if (Texte.startsWith("FICHIER")) {
        mContexte.proprietaire.setCocheSynchro(0);
        PartieGrosFichier.clear();
        Information(QStringLiteral("Un fichier va arriver..."));
        repondre("OKFICHIER");
        if (!*vivant)
            return true;
        mlDernierEchange = plateforme.tickMs();
        ArmerReception();
        return true;
    }
    if (Texte.startsWith("RECEPFICHIER")) {
        repondre("OKFICHIER");
        if (!*vivant)
            return true;
        PartieGrosFichier.clear();
        QByteArray reste = Texte.mid(12);
        RecevoirFichier(reste);
        if (!*vivant)
            return true;
        mlDernierEchange = 0;
        if (mContexte.proprietaire.valeurCocheConnecter() == 1)
            mContexte.proprietaire.setCocheSynchro(1);
        ArmerSurveillance(true);
        return true;
    }
    if (Texte.startsWith("RECEPGROSFIC")) {
        bool complet = false, doublon = false;
        const bool sain = RecevoirPartie(Texte.mid(12), complet, doublon);
        if (sain && complet && !doublon)
            return TraiterReception(msGrosFichier);
        if (!sain)
            Information(QStringLiteral("Erreur de réception"));
        repondre(!sain ? QByteArray("ERREURPARTFIC") : complet ? QByteArray("OKFICHIER") : QByteArray("OKPARTFIC"));
        if (!*vivant)
            return true;
        mlDernierEchange = plateforme.tickMs();
        ArmerReception();
        return true;
    }
    return false;
}

void CInterlocuteur::FrmComm_ProgressEmission(qint32 Envoyés, qint32 Total)
{
    ProgressEmission(std::min(Envoyés, Total), Total);
}

void CInterlocuteur::FrmComm_Erreur(const QString &Message)
{
    Information(QStringLiteral("%1 (%2)").arg(Message).arg(NbreErreurs));
    if (mlTypeTO == 6)
        return;
    if (NbreErreurs >= 4) {
        NbreErreurs = 0;
        const auto vivant = mVivant;
        Déconnecter();
        if (*vivant)
            Connecter();
        return;
    }
    ++NbreErreurs;
    if ((mlTypeTO == 3 || mlTypeTO == 5) && mTimeOut) {
        mTimeOut->setTag(QStringLiteral("5"));
        setTypeTimeOut(mlTypeTO);
    }
}

void CInterlocuteur::FrmComm_Information(const QString &Message)
{
    if (mlTypeTO != 6)
        Information(Message);
}

void CInterlocuteur::FrmComm_ModemEtatConnexion(bool Connecté)
{
    if (mTimeOut)
        mTimeOut->setEnabled(false);
    mbModemConnecte = Connecté;
    const auto vivant = mVivant;
    ModemEtatConnexionChange(Connecté);
    if (!*vivant)
        return;
    if (!Connecté) {
        if (!PosteAppellant || mlTypeTO == 1)
            ArmerReinitialisation(true);
    } else if (PosteAppellant) {
        ArmerSurveillance(false);
    } else if (mTimeOut) {
        mTimeOut->setInterval(1500);
        mTimeOut->setEnabled(true);
        setTypeTimeOut(2);
    }
}
