#pragma once

#include "Plateforme.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <map>

// Production side: Qt's event loop and the system clock.
class PlateformeQt : public Plateforme
{
public:
    PlateformeQt();

    quint32 tickMs() const override;
    QDateTime maintenant() const override;
    bool reglerDateHeure(const QDateTime &dateHeure, QString *erreur) override;
    std::unique_ptr<Minuterie> creerMinuterie() override;
    void pomper(quint32 attenteMaxMs = 0) override;
    qint64 maintenantUs() const override;
    Identifiant planifier(qint64 delaiUs, std::function<void()> action) override;
    void annuler(Identifiant id) override;

private:
    QElapsedTimer mDepart;
    quint32 mTickDepart;
    QObject mContexte;
    Identifiant mProchainId = 1;
    std::map<Identifiant, QTimer *> mPlanifies;
};
