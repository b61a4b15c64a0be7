#pragma once

#include "platform/Minuterie.h"

#include <QTimer>

class MinuterieQt : public Minuterie
{
public:
    MinuterieQt();

    qint32 Interval() const override { return mInterval; }
    void setInterval(qint32 ms) override;
    bool Enabled() const override { return mEnabled; }
    void setEnabled(bool actif) override;

private:
    void appliquer();

    QTimer mTimer;
    qint32 mInterval = 0;
    bool mEnabled = false;
};
