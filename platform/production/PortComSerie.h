#pragma once

#include "platform/production/PortComQt.h"

#include <QSerialPort>
#include <QTimer>

#include <optional>

class PortComSerie : public PortComQt
{
public:
    PortComSerie(QString nomPort, QString peripherique);
    ~PortComSerie() override;

    bool Ouvrir(QString *raison) override;
    void Fermer() override;
    void viderEmission() override { mSerie.clear(QSerialPort::Output); }

    static constexpr int guetPorteuseMs = 250;

private:
    void reduireLatence();
    void guetterPorteuse();

    QSerialPort mSerie;
    QString mPeripherique;
    QTimer mGuet{&mContexte};
    std::optional<bool> mDcd; // as last read; nothing before the first reading
};
