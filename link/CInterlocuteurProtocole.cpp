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
