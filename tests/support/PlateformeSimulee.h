#pragma once

#include "platform/Plateforme.h"

#include <functional>
#include <map>
#include <utility>

// Deterministic discrete-event scheduler in virtual time. Nothing waits in real time: a wait
// jumps straight to the next event. Events run in (due time, scheduling order); the queue is
// re-read after each one, since handlers add and cancel events.
class PlateformeSimulee : public Plateforme
{
public:
    explicit PlateformeSimulee(quint32 tickInitial = 1000,
                               QDateTime dateInitiale = QDateTime(QDate(2026, 1, 15), QTime(8, 0)));
    ~PlateformeSimulee() override;

    quint32 tickMs() const override;
    QDateTime maintenant() const override;
    bool reglerDateHeure(const QDateTime &dateHeure, QString *erreur) override;
    std::unique_ptr<Minuterie> creerMinuterie() override;
    void pomper(quint32 attenteMaxMs = 0) override;

    // Virtual time in microseconds since the start of the simulation.
    qint64 maintenantUs() const override { return mMaintenantUs; }
    Identifiant planifierA(qint64 instantUs, std::function<void()> action) override;
    void annuler(Identifiant id) override;

    // Runs every event due in the next ms milliseconds, then stops there.
    void avancer(quint32 ms);
    // Runs events until none is left or the limit is reached; returns whether it emptied.
    bool executerTout(quint32 limiteMs = 3'600'000);

    int evenementsEnAttente() const { return int(mFile.size()); }
    int reglagesHorloge() const { return mReglagesHorloge; }
    void refuserReglageHorloge(bool refuser) { mRefuserReglage = refuser; }

private:
    bool executerUnEcheant();

    struct Cle
    {
        qint64 echeanceUs;
        Identifiant ordre;
        bool operator<(const Cle &autre) const
        {
            return std::pair(echeanceUs, ordre) < std::pair(autre.echeanceUs, autre.ordre);
        }
    };

    qint64 mMaintenantUs = 0;
    quint32 mTickInitial;
    QDateTime mDateInitiale;
    Identifiant mProchainId = 1;
    std::map<Cle, std::function<void()>> mFile;
    std::map<Identifiant, Cle> mParId;
    int mReglagesHorloge = 0;
    bool mRefuserReglage = false;
};
