#pragma once

#include "platform/Environnement.h"
#include "tests/support/BoitesMessageScriptees.h"
#include "tests/support/DisqueSimule.h"
#include "tests/support/GestionPortsSimules.h"
#include "tests/support/PlateformeSimulee.h"
#include "tools/modem/CentralTelephonique.h"
#include "tools/modem/LigneSimulee.h"
#include "tools/modem/ModemHayes.h"

#include <memory>

// Two emulated modems, numbers "1" and "2", on one exchange; the port "COMk:" is a cable to
// modem k. The cables run at 115200 baud, the telephone line at the modems' speed.
class BancModems
{
public:
    explicit BancModems(ReglagesModem modem1 = {}, ReglagesModem modem2 = {}, quint32 tickInitial = 100'000);

    Environnement env() { return {plateforme, boites, ports, disque}; }

    PlateformeSimulee plateforme;
    BoitesMessageScriptees boites;
    GestionPortsSimules ports;
    DisqueSimule disque;
    CentralTelephonique central{plateforme};
    LigneSimulee cable1{plateforme, {.bauds = 115200}};
    LigneSimulee cable2{plateforme, {.bauds = 115200}};
    std::unique_ptr<ModemHayes> modem1;
    std::unique_ptr<ModemHayes> modem2;
};
