#pragma once

#include "platform/Plateforme.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <map>

// Production side: Qt's event loop and the system clock.
class PlateformeQt : public Plateforme
{
public:
    PlateformeQt();
    ~PlateformeQt() override;

    quint32 tickMs() const override;
    QDateTime maintenant() const override;
    bool reglerDateHeure(const QDateTime &dateHeure, QString *erreur) override;
    std::unique_ptr<Minuterie> creerMinuterie() override;
    void pomper(quint32 attenteMaxMs = 0) override;
    qint64 maintenantUs() const override;
    // One-shot actions run in (deadline, creation) order, as in the simulation: one timer
    // over an ordered queue, never a timer each (those may fire out of order). On Linux the
    // timer keeps microseconds (a timerfd): Qt's timers round to whole milliseconds, which
    // the emulator's pacing of 16-byte blocks and each answer paid once more per exchange.
    Identifiant planifierA(qint64 instantUs, std::function<void()> action) override;
    void annuler(Identifiant id) override;
    size_t nombrePlanifies() const { return mFile.size(); }

private:
    void executerEcheants();
    void rearmer();

    QElapsedTimer mDepart;
    quint32 mTickDepart;
    QObject mContexte;
    QTimer mReveil;
    int mHorloge = -1; // the timerfd, or -1 where there is none: mReveil then
    std::unique_ptr<QSocketNotifier> mHorlogePrete;
    Identifiant mProchainId = 1;
    // Key: (deadline in microseconds, creation order); the id is the creation order.
    std::map<std::pair<qint64, Identifiant>, std::function<void()>> mFile;
    std::map<Identifiant, qint64> mEcheances;
};
