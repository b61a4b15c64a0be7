#pragma once

#include "platform/SurveillanceFenetre.h"

#include <QString>

#include <functional>
#include <memory>

class Minuterie;
class Plateforme;

// What the instance window acts on: the main window, through the controls a user would use.
class CibleInstance
{
public:
    virtual ~CibleInstance() = default;
    virtual QString numPort() const = 0;
    // Runs the connect box's click handler, as a click would.
    virtual void setCocheConnecter(int valeur) = 0;
    virtual bool DefinirCePosteEnAppelant() = 0;
    // The orderly end, without the closing question.
    virtual void terminerSansQuestion() = 0;
    // One line, or one JSON object: what the station is doing.
    virtual QString ligneEtat(bool json = false) const = 0;
    virtual void informer(const QString &texte) = 0;
};

// The hidden instance window: another process finds it by its caption, "ZQNAVETTECOM" and
// the port name and ":", and sends it message 1261 with a mask of actions, carried out a
// moment later in the order 1, 2, 4, 8: connect, become the calling station, disconnect,
// disconnect and end.
class FFermeture
{
public:
    using Fabrique = std::function<std::unique_ptr<SurveillanceFenetre>()>;
    static constexpr qint32 messageCommande = 1261;
    static QString captionPour(const QString &numPort) { return QStringLiteral("ZQNAVETTECOM") + numPort + QLatin1Char(':'); }

    FFermeture(Plateforme &plateforme, Fabrique fabrique);
    ~FFermeture();

    // Again after the settings dialog: the caption follows the port name.
    void Charger(CibleInstance &fenetre);
    void Terminer();
    void WinEvents_EventWindows(qint32 Msg, qint32 wParam, qint32 lParam, qint32 &Result);
    void Clock_Timer();
    // As if message 1261 had come with that mask.
    void Test(qint32 plParam = 4);

    QString caption() const { return mCaption; }
    bool actionEnAttente() const;

private:
    Fabrique mFabrique;
    std::unique_ptr<Minuterie> mClock;
    std::unique_ptr<SurveillanceFenetre> WinEvents;
    CibleInstance *mFrmMain = nullptr;
    qint32 mlCommande = 0;
    QString mCaption;
};
