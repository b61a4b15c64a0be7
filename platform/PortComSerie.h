#pragma once

#include "PortComQt.h"

#include <QSerialPort>

class PortComSerie : public PortComQt
{
public:
    PortComSerie(QString nomPort, QString peripherique);
    ~PortComSerie() override;

    bool Ouvrir() override;
    void Fermer() override;

private:
    void reduireLatence();

    QSerialPort mSerie;
    QString mPeripherique;
};
