#pragma once

#include "platform/Environnement.h"

#include <QString>

class DialogueParametres;
class FichierIni;
class ProprietaireLiaison;

// What a link object is given when created.
struct ContexteLiaison
{
    Environnement env;
    FichierIni &ini;                   // the program's one profile file
    ProprietaireLiaison &proprietaire; // the main window
    QString dossierProgramme;
    QString nomExecutable;         // without extension
    QString argumentLigneCommande; // the station name given at start-up, if any
    DialogueParametres *dialogue = nullptr;
};
