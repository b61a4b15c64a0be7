#pragma once

class FComm;
class CInterlocuteur;

// The communication settings dialog: edits the station's parameters and the driver's port
// name and line settings, and returns when closed.
class DialogueParametres
{
public:
    virtual ~DialogueParametres() = default;
    virtual void afficher(FComm &comm, CInterlocuteur &poste) = 0;
};
