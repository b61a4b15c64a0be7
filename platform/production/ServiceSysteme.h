#pragma once

#include "platform/Minuterie.h"

#include <memory>

class Plateforme;

// The service manager, when one runs the station (NOTIFY_SOCKET set): told once that the
// station is ready, then pinged from the event loop at half its watchdog period. A loop stuck
// anywhere stops the pings, and the manager restarts the station. Without a manager, nothing.
class ServiceSysteme
{
public:
    explicit ServiceSysteme(Plateforme &plateforme);
    void pret();

private:
    std::unique_ptr<Minuterie> mVeille;
};
