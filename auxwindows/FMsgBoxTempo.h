#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

class FMsgBoxTempo;
class Minuterie;
class Plateforme;

// The window that draws the timed box; it calls the box's handlers on clicks and keys.
class VueMsgBoxTempo
{
public:
    virtual ~VueMsgBoxTempo() = default;
    // Shows the box, modal, without waiting: the box waits itself.
    virtual void montrer(FMsgBoxTempo &boite) = 0;
    // The countdown label changed.
    virtual void rafraichir(FMsgBoxTempo &boite) = 0;
    virtual void cacher() = 0;
};

// Where the controls go, in the window's units (twips in the original layout rules).
struct DispositionMsgBoxTempo
{
    int largeurFenetre;
    int hauteurFenetre;
    QPoint tpsRestant;
    QPoint boutonOK;
    QPoint boutonAnnuler;
};

// A question box with two buttons that answers itself: once a second it counts down, and at
// zero it presses the default button. Other timers and line notifications keep running while
// it is shown: Afficher waits through the platform's one wait.
class FMsgBoxTempo
{
public:
    FMsgBoxTempo(Plateforme &plateforme, VueMsgBoxTempo &vue, QString titreApplication);
    ~FMsgBoxTempo();

    bool Afficher(const QString &Message, const QString &Titre, int TempsRestant, bool OKParDéfaut, int TypeFenetre = 1);

    void BtnOK_Click();
    void BtnAnnuler_Click();
    void Clock_Timer();
    // Enter presses the default button, Escape (or closing the window) the cancel one.
    void appuyerEntree();
    void appuyerEchap();

    QString lblMessage() const { return mMessage; }
    QString lblTpsRestant() const { return mTpsRestant; }
    QString caption() const { return mCaption; }
    bool okParDefaut() const { return mOKParDefaut; }
    int typeFenetre() const { return mTypeFenetre; }
    bool visible() const { return mVisible; }

    static QString texteTempsRestant(int secondes);
    // The layout rules: margins taken from the message label's position, the countdown
    // centred under the message, the buttons 2 x ecart apart around the middle.
    static DispositionMsgBoxTempo disposer(const QRect &message, QSize tpsRestant, QSize bouton, int ecart, int basDeFenetre);

private:
    Plateforme &mPlateforme;
    VueMsgBoxTempo &mVue;
    QString mTitreApplication;
    std::unique_ptr<Minuterie> mClock;
    QString mMessage, mTpsRestant, mCaption, mTag;
    bool mOKParDefaut = true;
    int mTypeFenetre = 1;
    int mSecondesRestantes = 0;
    bool mVisible = false;
};
