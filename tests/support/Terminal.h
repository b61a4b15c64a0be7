#pragma once

#include "tests/support/PlateformeSimulee.h"
#include "tools/modem/LigneSimulee.h"

// The computer's side of a modem's cable with no station on it: what is typed and what comes
// back, as a terminal program sees it.
struct Terminal
{
    Terminal(LigneSimulee &cable, PlateformeSimulee &p) : cable(cable), plateforme(p)
    {
        cable.a().brancher(this, [this](const QByteArray &o) { recu += o; });
    }
    ~Terminal() { cable.a().debrancher(this); }
    // Types the text, lets attenteMs of virtual time pass, and returns what came back meanwhile.
    QByteArray taper(const QByteArray &texte, quint32 attenteMs = 100)
    {
        recu.clear();
        cable.a().envoyer(texte);
        plateforme.avancer(attenteMs);
        return recu;
    }
    LigneSimulee &cable;
    PlateformeSimulee &plateforme;
    QByteArray recu;
};
