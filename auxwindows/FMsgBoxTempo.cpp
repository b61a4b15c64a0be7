#include "auxwindows/FMsgBoxTempo.h"

#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

#include <cmath>

FMsgBoxTempo::FMsgBoxTempo(Plateforme &plateforme, VueMsgBoxTempo &vue, QString titreApplication)
    : mPlateforme(plateforme), mVue(vue), mTitreApplication(std::move(titreApplication)), mClock(plateforme.creerMinuterie())
{
    mClock->setInterval(1000);
    mClock->Timer.connecter([this] { Clock_Timer(); });
}

FMsgBoxTempo::~FMsgBoxTempo() = default;

QString FMsgBoxTempo::texteTempsRestant(int secondes)
{
    return QStringLiteral("Temps restant : %1 s").arg(secondes);
}

bool FMsgBoxTempo::Afficher(const QString &Message, const QString &Titre, int TempsRestant, bool OKParDéfaut, int TypeFenetre)
{
    mTypeFenetre = TypeFenetre;
    mClock->setEnabled(false);
    mTag.clear();
    mMessage = Message;
    mCaption = Titre.isEmpty() ? mTitreApplication : Titre;
    // Zero would go below zero at the first tick: it counts as one second.
    const int secondes = std::clamp(TempsRestant, 1, 255);
    mTpsRestant = texteTempsRestant(secondes);
    mSecondesRestantes = secondes;
    mOKParDefaut = OKParDéfaut;
    mVisible = true;
    mVue.montrer(*this);
    mClock->setEnabled(true);
    mPlateforme.attendreQue([this] { return !mVisible; }, 0xFFFFFFFFu);
    mClock->setEnabled(false);
    mVue.cacher();
    return !mTag.isEmpty();
}

void FMsgBoxTempo::Clock_Timer()
{
    const int reste = --mSecondesRestantes;
    if (reste <= 0) {
        mClock->setEnabled(false);
        appuyerEntree();
        return;
    }
    mTpsRestant = texteTempsRestant(reste);
    mVue.rafraichir(*this);
}

void FMsgBoxTempo::BtnOK_Click()
{
    mTag = QStringLiteral("OK");
    mVisible = false;
}

void FMsgBoxTempo::BtnAnnuler_Click()
{
    mVisible = false;
}

void FMsgBoxTempo::appuyerEntree()
{
    mOKParDefaut ? BtnOK_Click() : BtnAnnuler_Click();
}

void FMsgBoxTempo::appuyerEchap()
{
    mOKParDefaut ? BtnAnnuler_Click() : BtnOK_Click();
}

DispositionMsgBoxTempo FMsgBoxTempo::disposer(const QRect &message, QSize tpsRestant, QSize bouton, int ecart, int basDeFenetre)
{
    const auto moitie = [](double v) { return int(std::lround(v)) / 2; };
    DispositionMsgBoxTempo d{};
    d.largeurFenetre = 2 * message.left() + message.width();
    d.tpsRestant.setX(moitie(d.largeurFenetre - tpsRestant.width()));
    d.boutonOK.setX(moitie(d.largeurFenetre) - bouton.width() - ecart);
    d.boutonAnnuler.setX(moitie(d.largeurFenetre) + ecart);
    d.tpsRestant.setY(2 * message.top() + message.height());
    d.boutonOK.setY(d.tpsRestant.y() + tpsRestant.height() + ecart);
    d.boutonAnnuler.setY(d.boutonOK.y());
    d.hauteurFenetre = d.boutonOK.y() + bouton.height() + basDeFenetre;
    return d;
}
