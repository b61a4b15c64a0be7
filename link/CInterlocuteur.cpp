#include "CInterlocuteur.h"

#include "BoitesMessage.h"
#include "Dezipper.h"
#include "FichierIni.h"
#include "MGlobal.h"
#include "Minuterie.h"
#include "Plateforme.h"
#include "ProprietaireLiaison.h"
#include "Zipper.h"

CInterlocuteur::CInterlocuteur(ContexteLiaison contexte) : mContexte(std::move(contexte)) {}

CInterlocuteur::~CInterlocuteur()
{
    Terminer();
    *mVivant = false;
}

QString CInterlocuteur::nomTypeTimeOut(qint32 type)
{
    static const char *const noms[] = {"Non définie", "Appel", "Réponse", "Surveillance",
                                       "Réception", "Réinitialisation", "Déconnexion"};
    return type >= 0 && type <= 6 ? QString::fromUtf8(noms[type]) : QStringLiteral("?");
}

void CInterlocuteur::setTypeTimeOut(qint32 type)
{
    mlTypeTO = type;
    const QString compteur = mTimeOut ? mTimeOut->Tag() : QString();
    const int duree = mTimeOut && mTimeOut->Enabled() ? mTimeOut->Interval() / 1000 : 0;
    EtatTimeOut(nomTypeTimeOut(type), compteur, duree);
}

void CInterlocuteur::AttacherMinuterie()
{
    if (mTimeOut)
        return;
    mTimeOut = &mContexte.proprietaire.TimeOutAppel();
    // The timer outlives this object: a late tick must find it gone, not dangling.
    mTimeOut->Timer.connecter([this, vivant = std::weak_ptr<bool>(mVivant)] {
        const auto encore = vivant.lock();
        if (encore && *encore)
            TimeOut_Timer();
    });
}

void CInterlocuteur::ArreterTempos()
{
    if (mTimeOut)
        mTimeOut->setEnabled(false);
    setTypeTimeOut(0);
}

void CInterlocuteur::Configurer()
{
    const auto vivant = mVivant;
    if (FrmComm)
        FrmComm->Afficher(*this); // modal: anything may run meanwhile
    if (!*vivant || mbTerminer)
        return;
    EcrireConfiguration();
    mContexte.proprietaire.chargerFenetreInstance();
}

void CInterlocuteur::Terminer()
{
    if (mbTerminer)
        return; // the owner's call, then destruction
    mbTerminer = true;
    if (mTimeOut)
        mTimeOut->setEnabled(false);
    mContexte.proprietaire.terminerFenetreInstance();

    if (mCompression)
        mCompression->Fermer();
    if (mDecompression)
        mDecompression->Fermer();
    mCompression.reset();
    mDecompression.reset();

    if (!FrmComm)
        return;
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    if (!fenetre.fenetreMinimisee()) {
        const QPoint position = fenetre.positionFenetre();
        Gauche = position.x();
        Haut = position.y();
        ecrire(mContexte.ini, true);
    }
    if (FrmComm->Port && FrmComm->Port->Actif())
        FrmComm->Déconnecter();
    FrmComm.reset();
}
