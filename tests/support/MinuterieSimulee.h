#pragma once

#include "platform/Minuterie.h"
#include "tests/support/PlateformeSimulee.h"

class MinuterieSimulee : public Minuterie
{
public:
    explicit MinuterieSimulee(PlateformeSimulee &plateforme) : mPlateforme(plateforme) {}
    ~MinuterieSimulee() override;

    qint32 Interval() const override { return mInterval; }
    void setInterval(qint32 ms) override;
    bool Enabled() const override { return mEnabled; }
    void setEnabled(bool actif) override;

private:
    void armer();
    void desarmer();
    void tic();

    PlateformeSimulee &mPlateforme;
    qint32 mInterval = 0;
    bool mEnabled = false;
    Plateforme::Identifiant mEvenement = 0;
};
