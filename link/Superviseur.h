#pragma once

#include "link/Supervision.h"

class CanalLiaison;

// What the supervision timer is armed for, and what each kind of wait does when its time runs
// out: a silent link is tested, a call that did not come up is hung up and made again, a
// modem that stays silent is set up again. A file that stops arriving is the reception's.
class Superviseur
{
public:
    Superviseur(CanalLiaison &canal, Supervision &supervision) : mCanal(canal), mSupervision(supervision) {}

    // A send under way watches the line itself: the waits of a silent link and of a file
    // arriving meanwhile are armed at its end.
    void armer(GenreSupervision genre, bool relance, bool envoiEnCours);
    // The timer's tick, for every kind but Reception.
    void echeance();

private:
    void echeanceAppel();
    void echeanceReponse();
    void echeanceSurveillance();
    void echeanceReinitialisation();
    void reinitialiser();

    CanalLiaison &mCanal;
    Supervision &mSupervision;
};
