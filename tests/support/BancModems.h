#pragma once

#include "BoitesMessageScriptees.h"
#include "CentralTelephonique.h"
#include "Environnement.h"
#include "GestionPortsSimules.h"
#include "LigneSimulee.h"
#include "ModemHayes.h"
#include "PlateformeSimulee.h"

#include <memory>

// Two emulated modems, numbers "1" and "2", on one exchange; the port "COMk:" is a cable to
// modem k. The cables run at 115200 baud, the telephone line at the modems' speed.
class BancModems
{
public:
    explicit BancModems(ReglagesModem modem1 = {}, ReglagesModem modem2 = {}, quint32 tickInitial = 100'000);

    Environnement env() { return {plateforme, boites, ports}; }

    PlateformeSimulee plateforme;
    BoitesMessageScriptees boites;
    GestionPortsSimules ports;
    CentralTelephonique central{plateforme};
    LigneSimulee cable1{plateforme, {.bauds = 115200}};
    LigneSimulee cable2{plateforme, {.bauds = 115200}};
    std::unique_ptr<ModemHayes> modem1;
    std::unique_ptr<ModemHayes> modem2;
};
