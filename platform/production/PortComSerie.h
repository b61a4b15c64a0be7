#pragma once

#include "platform/production/PortComQt.h"

#include <QSerialPort>

class PortComSerie : public PortComQt
{
public:
    PortComSerie(QString nomPort, QString peripherique);
    ~PortComSerie() override;

    bool Ouvrir(QString *raison) override;
    void Fermer() override;
    void viderEmission() override { mSerie.clear(QSerialPort::Output); }

private:
    void reduireLatence();

    QSerialPort mSerie;
    QString mPeripherique;
};
