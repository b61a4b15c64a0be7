#pragma once

#include "platform/Minuterie.h"

#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>

// Clock, timers and the event pump: everything the logic needs from time and the event loop.
// Production runs on Qt's event loop; the simulation runs in virtual time.
//
// Every wait of the system goes through pomper() (directly or through attendreQue()). While it
// runs, anything may happen: bytes received on a line, timer ticks, user clicks, and through
// them any handler of any object, including one that ends the caller's own operation or tears
// its object down. A caller must re-read every piece of state it relies on after each wait.
class Plateforme
{
public:
    virtual ~Plateforme() = default;

    // The system's 32-bit millisecond tick counter; it wraps modulo 2^32.
    virtual quint32 tickMs() const = 0;
    // Elapsed milliseconds since an earlier tick, correct across the wrap.
    quint32 ecouleDepuis(quint32 tickDebut) const { return tickMs() - tickDebut; }

    virtual QDateTime maintenant() const = 0;
    // Sets the system's local date and time. On refusal returns false and explains why in
    // French in *erreur; nothing is changed then.
    virtual bool reglerDateHeure(const QDateTime &dateHeure, QString *erreur) = 0;

    virtual std::unique_ptr<Minuterie> creerMinuterie() = 0;

    // Lets pending events run once. When none is pending, blocks until one arrives or
    // attenteMaxMs have passed, whichever comes first (0: do not block).
    virtual void pomper(quint32 attenteMaxMs = 0) = 0;

    // One-shot actions at a later moment, run from the event loop (never from inside the
    // call that schedules them). Microseconds; production keeps them on Linux and rounds up to
    // milliseconds elsewhere.
    using Identifiant = quint64;
    virtual qint64 maintenantUs() const = 0;
    Identifiant planifier(qint64 delaiUs, std::function<void()> action)
    {
        return planifierA(maintenantUs() + std::max<qint64>(0, delaiUs), std::move(action));
    }
    // At a moment of maintenantUs()'s clock: actions given increasing moments run in that
    // order, however long the caller took between them.
    virtual Identifiant planifierA(qint64 instantUs, std::function<void()> action) = 0;
    virtual void annuler(Identifiant id) = 0;

    // The one wait: pumps until condition() holds or delaiMs have passed.
    // Returns condition()'s last value. See the class comment for what may run meanwhile.
    bool attendreQue(const std::function<bool()> &condition, quint32 delaiMs);
};
