#pragma once

#include "platform/Notification.h"

#include <QString>

// A periodic timer of the user-interface thread. Switching it off and on again, or changing
// its interval while it runs, restarts the interval from zero. An interval of 0 never ticks.
// A tick may arrive inside any nested wait (see Plateforme::pomper).
class Minuterie
{
public:
    virtual ~Minuterie() = default;

    virtual qint32 Interval() const = 0;
    virtual void setInterval(qint32 ms) = 0;
    virtual bool Enabled() const = 0;
    virtual void setEnabled(bool actif) = 0;

    QString Tag() const { return mTag; }
    void setTag(const QString &tag) { mTag = tag; }

    Notification<> Timer;

private:
    QString mTag;
};
