#pragma once

#include "platform/production/PortComQt.h"

#include <QTcpSocket>

class Plateforme;

// A "TCP" port: a raw byte stream to host:port (a modem emulator, or a serial server).
class PortComTcp : public PortComQt
{
public:
    PortComTcp(QString nomPort, QString hote, quint16 port, Plateforme &plateforme);
    ~PortComTcp() override;

    bool Ouvrir(QString *raison) override;

    static constexpr quint32 delaiConnexionMs = 5000;

protected:
    QTcpSocket &socket() { return mSocket; }
    Plateforme &plateforme() { return mPlateforme; }

private:
    QTcpSocket mSocket;
    QString mHote;
    quint16 mPort;
    Plateforme &mPlateforme;
};
