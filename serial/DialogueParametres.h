#pragma once

class FComm;
struct ParametresStation;

// The communication settings dialog: edits the station's parameters and the driver's port
// name and line settings, and returns when closed; true when closed through OK.
class DialogueParametres
{
public:
    virtual ~DialogueParametres() = default;
    virtual bool afficher(FComm &comm, ParametresStation &poste) = 0;
};
