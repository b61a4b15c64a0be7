#include "platform/production/MinuterieQt.h"

MinuterieQt::MinuterieQt()
{
    mTimer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&mTimer, &QTimer::timeout, [this] { Timer(); });
}

void MinuterieQt::setInterval(qint32 ms)
{
    mInterval = ms;
    appliquer();
}

void MinuterieQt::setEnabled(bool actif)
{
    mEnabled = actif;
    appliquer();
}

void MinuterieQt::appliquer()
{
    if (mEnabled && mInterval > 0)
        mTimer.start(mInterval);
    else
        mTimer.stop();
}
