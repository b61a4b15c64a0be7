#pragma once

#include "platform/CorrespondancePorts.h"
#include "platform/GestionPorts.h"

class Plateforme;

// Production factory: serial devices through QSerialPort, "TCP" ports through sockets.
class GestionPortsReels : public GestionPorts
{
public:
    GestionPortsReels(Plateforme &plateforme, const CorrespondancePorts &correspondance);
    std::unique_ptr<PortCom> ObtenirPort(const QString &nomPort) override;

private:
    Plateforme &mPlateforme;
    const CorrespondancePorts &mCorrespondance;
};
