#include "tests/support/MinuterieSimulee.h"

MinuterieSimulee::~MinuterieSimulee()
{
    desarmer();
}

void MinuterieSimulee::setInterval(qint32 ms)
{
    mInterval = ms;
    if (mEnabled)
        armer();
}

void MinuterieSimulee::setEnabled(bool actif)
{
    mEnabled = actif;
    if (actif)
        armer();
    else
        desarmer();
}

void MinuterieSimulee::armer()
{
    desarmer();
    if (mInterval > 0)
        mEvenement = mPlateforme.planifier(qint64(mInterval) * 1000, [this] { tic(); });
}

void MinuterieSimulee::desarmer()
{
    if (mEvenement)
        mPlateforme.annuler(mEvenement);
    mEvenement = 0;
}

void MinuterieSimulee::tic()
{
    // Re-arm before the handler runs: it may switch the timer off, change it, or wait.
    mEvenement = mPlateforme.planifier(qint64(mInterval) * 1000, [this] { tic(); });
    Timer();
}
