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

    virtual bool fenetreMinimisee() const = 0;
    virtual QPoint positionFenetre() const = 0;
    virtual void deplacerFenetre(const QPoint &position) = 0;
    virtual QSize tailleEcran() const = 0;

    // Registers the instance window again (its caption follows the port name).
    virtual void chargerFenetreInstance() = 0;
    virtual void terminerFenetreInstance() = 0;
};
