#pragma once

#include "tests/support/ApplicationSimulee.h"
#include "tests/support/BancModems.h"

// Two whole stations over emulated modems: A calls "2" on COM1:, B answers on COM2:.
struct DeuxApplications : BancModems
{
    explicit DeuxApplications(ReglagesModem m1 = {}, ReglagesModem m2 = {}) : BancModems(m1, m2), a(env()), b(env()) {}
    // Both windows loaded and shown, as the program starts them.
    void demarrer()
    {
        b.charger("[Defaut]\nConnexion à=B\n[Port B]\nNumPort=COM2:\nPosteAppellant=0\n");
        a.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\nNumTelAppel=2\n", "A");
        b.fenetre().Form_Activate();
        a.fenetre().Form_Activate();
    }
    ApplicationSimulee a, b;
};
