#pragma once

class Plateforme;
class BoitesMessage;
class GestionPorts;

// What a logic object receives from outside instead of reaching for it: time and the event
// pump, message boxes, serial ports. Production and tests hand in different sides.
struct Environnement
{
    Plateforme &plateforme;
    BoitesMessage &boites;
    GestionPorts &ports;
};
