// The supervision timer's tick: what each kind of waiting does when its time runs out.
#include "CInterlocuteur.h"

#include "MGlobal.h"
#include "Minuterie.h"
#include "Plateforme.h"
#include "ProprietaireLiaison.h"

namespace {
// The counter kept in the timer's tag; anything not numeric counts as 0.
int compteur(const Minuterie &minuterie)
{
    bool ok = false;
    const int valeur = minuterie.Tag().toInt(&ok);
    return ok ? valeur : 0;
}
}

void CInterlocuteur::TimeOut_Timer()
{
    if (!mTimeOut)
        return;
    if (mbTerminer) {
        mTimeOut->setEnabled(false);
        return;
    }
    const auto vivant = mVivant;
    Plateforme &plateforme = mContexte.env.plateforme;
    const auto compter = [&] {
        bool ok = false;
        const int valeur = mTimeOut->Tag().toInt(&ok);
        mTimeOut->setTag(ok ? QString::number(valeur + 1) : QStringLiteral("0"));
        setTypeTimeOut(mlTypeTO);
        return ok ? valeur + 1 : 0;
    };
    const auto raccrocherEtRappeler = [&] {
        Déconnecter();
        if (*vivant && !mbTerminer)
            Connecter();
    };
    const auto reinitialiser = [&] {
        Information(QStringLiteral("Aucune nouvelle, réinitialisation..."));
        Déconnecter();
        if (!*vivant || mbTerminer)
            return;
        MGlobal::Attendre(plateforme, 1000);
        if (!*vivant || mbTerminer)
            return;
        const bool relance = Connecter();
        if (*vivant)
            Information(relance ? QStringLiteral("Réinitialisation effectuée") : QStringLiteral("Erreur de réinitialisation"));
    };

    switch (mlTypeTO) {
    case 3:
        if (compter() < 6)
            return;
        if (TesterConnexion(false)) {
            if (*vivant && mTimeOut) {
                mTimeOut->setTag(QStringLiteral("0"));
                setTypeTimeOut(mlTypeTO);
            }
        } else if (*vivant) {
            reinitialiser();
        }
        return;
    case 4:
        if (FrmComm)
            FrmComm->ArréterAttendre();
        mTimeOut->setEnabled(false);
        ++NbreErreurs;
        if (NbreErreurs <= 2) {
            Information(QStringLiteral("Données incomplètes. Nouvelle tentative."));
            MGlobal::Attendre(plateforme, 1000);
            if (!*vivant)
                return;
            mlDernierEchange = plateforme.tickMs();
            ArmerReception();
            return;
        }
        mlDernierEchange = 0;
        abandonnerReception();
        // The scanner, off while the file arrived, takes its turn again.
        if (mContexte.proprietaire.valeurCocheConnecter() == 1)
            mContexte.proprietaire.setCocheSynchro(1);
        Information(QStringLiteral("Données incomplètes. Arrêt de la réception"));
        Information(QStringLiteral("Test de communication... (TO Coupure) (%1)").arg(NbreErreurs));
        if (TesterConnexion(false)) {
            if (*vivant)
                ArmerSurveillance(false);
        } else if (*vivant) {
            Information(QStringLiteral("Pas de réponse du poste distant"));
            raccrocherEtRappeler();
        }
        return;
    case 5:
        if (compter() < 6)
            return;
        mTimeOut->setTag(QStringLiteral("0"));
        setTypeTimeOut(mlTypeTO);
        reinitialiser();
        return;
    default:
        break;
    }

    if (PosteAppellant) {
        if (mlTypeTO != 1)
            return;
        if (compteur(*mTimeOut) == 0) {
            mTimeOut->setTag(QStringLiteral("1"));
            setTypeTimeOut(mlTypeTO);
            return;
        }
        Information(QStringLiteral("Pas de communication"));
        raccrocherEtRappeler();
        return;
    }

    if (mlTypeTO != 2)
        return;
    mTimeOut->setEnabled(false);
    for (int i = 0; i < 10; ++i) {
        MGlobal::Attendre(plateforme, 200);
        if (!*vivant || mbTerminer)
            return;
    }
    if (TesterConnexion(true)) {
        if (!*vivant)
            return;
        if (!mbModemConnecte) {
            mbModemConnecte = true;
            ModemEtatConnexionChange(true);
            if (!*vivant)
                return;
        }
        ArmerSurveillance(false);
        return;
    }
    if (!*vivant)
        return;
    ++NbreErreurs;
    if (NbreErreurs <= 3) {
        if (mTimeOut)
            mTimeOut->setEnabled(true);
    } else {
        raccrocherEtRappeler();
    }
}
