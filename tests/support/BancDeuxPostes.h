#pragma once

#include "tests/support/BoitesMessageScriptees.h"
#include "tests/support/DisqueSimule.h"
#include "tests/support/GestionPortsSimules.h"
#include "tests/support/PlateformeSimulee.h"
#include "tests/support/PosteSimule.h"
#include "tools/modem/LigneSimulee.h"

// Two stations joined by a simulated cable: A on "COM1:", B on "COM2:".
class BancDeuxPostes
{
public:
    explicit BancDeuxPostes(LigneSimulee::Reglages reglages = {}, quint32 tickInitial = 100'000);

    // Both link objects configured (with these keys besides) and connected to their ports.
    void demarrer(const QByteArray &clesA = {}, const QByteArray &clesB = {});

    PlateformeSimulee plateforme;
    BoitesMessageScriptees boites;
    GestionPortsSimules ports;
    DisqueSimule disque;
    LigneSimulee ligne;
    PosteSimule a;
    PosteSimule b;
};
