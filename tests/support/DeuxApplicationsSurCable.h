#pragma once

#include "tests/support/ApplicationSimulee.h"
#include "tests/support/BoitesMessageScriptees.h"
#include "tests/support/DisqueSimule.h"
#include "tests/support/GestionPortsSimules.h"
#include "tests/support/PlateformeSimulee.h"
#include "tools/modem/LigneSimulee.h"

// Two whole stations on a bare cable at 115200 baud: A on "COM1:", B on "COM2:", both
// NumTelAppel=DIRECT. Schedule both activations in the same tick to start them together.
struct DeuxApplicationsSurCable
{
    DeuxApplicationsSurCable()
    {
        boites.setPlateforme(&plateforme);
        ports.declarer(QStringLiteral("COM1:"), cable.a());
        ports.declarer(QStringLiteral("COM2:"), cable.b());
    }
    Environnement env() { return {plateforme, boites, ports, disque}; }
    // Loaded with the keys given besides the port, then its first activation connects.
    static void charger(ApplicationSimulee &app, const QString &nom, const QByteArray &port, const QByteArray &cles)
    {
        app.charger("[Port " + nom.toUtf8() + "]\nNumPort=" + port + "\nNumTelAppel=DIRECT\n" + cles, nom);
    }
    PlateformeSimulee plateforme{100'000};
    BoitesMessageScriptees boites;
    GestionPortsSimules ports;
    DisqueSimule disque;
    LigneSimulee cable{plateforme, {.bauds = 115200}};
    ApplicationSimulee a{env()}, b{env()};
};
