#pragma once

#include "platform/Notification.h"
#include "platform/Raison.h"

#include <QString>

#include <functional>

// Watches the messages another process sends to this instance's named window: a message
// number and a 32-bit mask. Production listens on a local socket named after the caption;
// the simulated side takes direct calls.
class SurveillanceFenetre
{
public:
    virtual ~SurveillanceFenetre() = default;

    // Takes the window's caption as the name others find it by. Refused when another live
    // instance already answers on that name: it is never taken from it.
    virtual bool setFenetre(const QString &caption, QString *raison) = 0;
    void SurveillerMessage(qint32 numero, bool surveiller) { mSurveille = surveiller ? numero : -1; }

    // Msg, wParam, lParam, Result.
    Notification<qint32, qint32, qint32, qint32 &> EventWindows;
    // Our own question, "what state are you in?", answered on the same name with one line;
    // wParam 1 asks for it as a JSON object.
    static constexpr qint32 messageEtat = 1262;
    std::function<QString(bool json)> repondreEtat;

protected:
    // What the endpoint received: the watched message is raised, a status question answered.
    // Returns the answer line.
    QString recevoir(qint32 msg, qint32 wParam, qint32 lParam);

private:
    qint32 mSurveille = -1;
};
