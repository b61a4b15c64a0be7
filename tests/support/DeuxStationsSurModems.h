#pragma once

#include "tests/support/BancModems.h"
#include "tests/support/StationSimulee.h"

// Fixture 3 of 3: two stations over emulated modems, A on "COM1:" (modem "1"), B on "COM2:"
// (modem "2"): link objects alone (creer, creerConfiguree) or whole programs (demarrer). A
// station of the original design takes B's place through PosteHistorique.h.
struct DeuxStationsSurModems : BancModems
{
    explicit DeuxStationsSurModems(ReglagesModem m1 = {}, ReglagesModem m2 = {}) : BancModems(m1, m2) {}
    // Both whole programs loaded and shown, as the program starts them: A calls "2", B answers.
    void demarrer()
    {
        b.charger("[Defaut]\nConnexion à=B\n[Port B]\nNumPort=COM2:\nPosteAppellant=0\n");
        chargerA();
        b.fenetre().Form_Activate();
        a.fenetre().Form_Activate();
    }
    // A alone as a whole program, calling "2".
    FMain &chargerA() { return a.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\nNumTelAppel=2\n", "A"); }
    StationSimulee a{env()};
    StationSimulee b{env()};
};
