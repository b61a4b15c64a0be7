#pragma once

#include <QPoint>
#include <QSize>

class Minuterie;

// What the link object reaches in its owner, the main window: the timer it supervises the
// link with, the window's position, and the instance window the main window loaded.
class ProprietaireLiaison
{
public:
    virtual ~ProprietaireLiaison() = default;

    virtual Minuterie &TimeOutAppel() = 0;
    // The hourglass pointer while the modem is being set up.
    virtual void curseurAttente(bool attente) = 0;

    virtual bool fenetreMinimisee() const = 0;
    virtual QPoint positionFenetre() const = 0;
    virtual void deplacerFenetre(const QPoint &position) = 0;
    virtual QSize tailleEcran() const = 0;

    // The connect box (0 not connected, 1 connected, 2 in progress) and the outgoing scanner's
    // box (1: files are sent). Setting a box runs its handler, as a click would.
    virtual int valeurCocheConnecter() const = 0;
    virtual void setCocheSynchro(int valeur) = 0;
    // The other station answered as one of ours: the scanner's first wait on this call,
    // there for stations that may still be setting up, can end.
    virtual void posteDistantReconnu() = 0;
    // A file has arrived whole (or its reception ended): the other station's turn is over.
    virtual void receptionTerminee() = 0;

    // Registers the instance window again (its caption follows the port name).
    virtual void chargerFenetreInstance() = 0;
    virtual void terminerFenetreInstance() = 0;
};
