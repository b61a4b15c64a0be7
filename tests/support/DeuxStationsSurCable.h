#pragma once

#include "tests/support/BoitesMessageScriptees.h"
#include "tests/support/DisqueSimule.h"
#include "tests/support/GestionPortsSimules.h"
#include "tests/support/PlateformeSimulee.h"
#include "tests/support/StationSimulee.h"
#include "tools/modem/LigneSimulee.h"

// Fixture 2 of 3: two stations joined by a simulated cable, A on "COM1:", B on "COM2:",
// either as link objects alone (demarrer) or as whole programs (charger). Timed boxes count
// down in virtual time.
class DeuxStationsSurCable
{
public:
    explicit DeuxStationsSurCable(LigneSimulee::Reglages reglages = {}, quint32 tickInitial = 100'000);

    Environnement env() { return {plateforme, boites, ports, disque}; }

    // Both link objects configured (with these keys besides), A calling, both connected.
    void demarrer(const QByteArray &clesA = {}, const QByteArray &clesB = {});
    // Both link objects test the link once, so that two of ours recognise each other.
    void reconnaitre();
    // A whole program on a direct cable (NumTelAppel=DIRECT, "COM1:" for A, else "COM2:") with
    // the keys given besides, loaded now and activated dansMs from now: that first activation
    // connects, and waits inside itself, so a second one due meanwhile runs within its waits.
    void lancer(StationSimulee &station, const QString &nom, const QByteArray &cles, qint64 dansMs = 0);

    PlateformeSimulee plateforme;
    BoitesMessageScriptees boites;
    GestionPortsSimules ports;
    DisqueSimule disque;
    LigneSimulee ligne;
    StationSimulee a{env()};
    StationSimulee b{env()};
};
