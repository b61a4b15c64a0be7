#include "auxwindows/FFermeture.h"
#include "platform/EtatCase.h"

#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

FFermeture::FFermeture(Plateforme &plateforme, Fabrique fabrique)
    : mFabrique(std::move(fabrique)), mClock(plateforme.creerMinuterie())
{
    mClock->setInterval(200);
    mClock->Timer.connecter([this] { Clock_Timer(); });
}

FFermeture::~FFermeture() = default;

void FFermeture::Charger(CibleInstance &fenetre)
{
    mFrmMain = &fenetre;
    mCaption = captionPour(fenetre.numPort());
    WinEvents.reset(); // the old name is free before the new one is taken
    WinEvents = mFabrique ? mFabrique() : nullptr;
    if (!WinEvents)
        return;
    WinEvents->EventWindows.connecter([this](qint32 m, qint32 w, qint32 l, qint32 &r) { WinEvents_EventWindows(m, w, l, r); });
    WinEvents->repondreEtat = [this](bool json) { return mFrmMain ? mFrmMain->ligneEtat(json) : QString(); };
    QString refus;
    const bool pris = WinEvents->setFenetre(mCaption, &refus);
    WinEvents->SurveillerMessage(messageCommande, true);
    if (!pris)
        fenetre.informer(refus);
}

void FFermeture::Terminer()
{
    mClock->setEnabled(false);
    mFrmMain = nullptr;
    WinEvents.reset();
}

void FFermeture::WinEvents_EventWindows(qint32 Msg, qint32 wParam, qint32, qint32 &)
{
    if (Msg != messageCommande)
        return;
    // The sender gets its answer first; a later mask replaces one still pending.
    mlCommande = wParam;
    mClock->setEnabled(true);
}

void FFermeture::Test(qint32 plParam)
{
    qint32 resultat = 0;
    WinEvents_EventWindows(messageCommande, plParam, 0, resultat);
}

bool FFermeture::actionEnAttente() const
{
    return mClock->Enabled();
}

void FFermeture::Clock_Timer()
{
    mClock->setEnabled(false);
    CibleInstance *fenetre = mFrmMain;
    if (!fenetre)
        return;
    const qint32 masque = mlCommande;
    fenetre->informer(QStringLiteral("Commande à distance reçue : %1").arg(masque));
    // Each action may wait, and the window may end meanwhile: read it again every time.
    if ((masque & 1) && mFrmMain)
        mFrmMain->setCocheConnecter(EtatCase::Coche);
    if ((masque & 2) && mFrmMain)
        mFrmMain->DefinirCePosteEnAppelant();
    if ((masque & 4) && mFrmMain)
        mFrmMain->setCocheConnecter(EtatCase::Decoche);
    if ((masque & 8) && mFrmMain) {
        mFrmMain->setCocheConnecter(EtatCase::Decoche);
        if (mFrmMain)
            mFrmMain->terminerSansQuestion();
    }
}
