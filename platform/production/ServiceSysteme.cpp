#include "platform/production/ServiceSysteme.h"

#include "platform/Plateforme.h"

#include <systemd/sd-daemon.h>

ServiceSysteme::ServiceSysteme(Plateforme &plateforme)
{
    uint64_t periodeUs = 0;
    if (sd_watchdog_enabled(0, &periodeUs) <= 0 || periodeUs == 0)
        return;
    mVeille = plateforme.creerMinuterie();
    mVeille->setInterval(qint32(std::max<uint64_t>(1, periodeUs / 2000)));
    mVeille->Timer.connecter([] { sd_notify(0, "WATCHDOG=1"); });
    mVeille->setEnabled(true);
}

void ServiceSysteme::pret()
{
    sd_notify(0, "READY=1");
}
