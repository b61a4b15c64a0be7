#pragma once

class Plateforme;
class BoitesMessage;
class GestionPorts;
class Disque;

// What a logic object receives from outside instead of reaching for it: time and the event
// pump, message boxes, serial ports, the disk's syncs. Production and tests hand in
// different sides.
struct Environnement
{
    Plateforme &plateforme;
    BoitesMessage &boites;
    GestionPorts &ports;
    Disque &disque;
};
