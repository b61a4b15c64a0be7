#pragma once

#include "platform/GestionPorts.h"
#include "tools/modem/LigneSimulee.h"

#include <QMap>

// Simulated factory: port names are plugged into ends of simulated lines.
class GestionPortsSimules : public GestionPorts
{
public:
    void declarer(const QString &nomPort, LigneSimulee::Extremite &extremite);
    std::unique_ptr<PortCom> ObtenirPort(const QString &nomPort) override;

    int portsObtenus() const { return mPortsObtenus; }

private:
    QMap<QString, LigneSimulee::Extremite *> mExtremites;
    int mPortsObtenus = 0;
};
