#pragma once

#include "Plateforme.h"

#include <QElapsedTimer>

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

private:
    QElapsedTimer mDepart;
    quint32 mTickDepart;
};
