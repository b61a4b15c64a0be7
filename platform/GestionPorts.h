#pragma once

#include "platform/PortCom.h"

#include <memory>

// Factory of the serial-port component: hands out a port object for a port name.
class GestionPorts
{
public:
    virtual ~GestionPorts() = default;
    virtual std::unique_ptr<PortCom> ObtenirPort(const QString &nomPort) = 0;
};
