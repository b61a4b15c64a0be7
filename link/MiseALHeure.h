#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>

class Plateforme;

// This computer's clock set from the time the other station sends with its link tests
// ("CLK" and 14 digits: day, month, year, hours, minutes, seconds). Under 2 s apart it is left
// alone; further than the allowed gap it is refused, unless this clock is before the build
// date, which no date it is given may precede. Each step and each first refusal is said.
class MiseALHeure
{
public:
    MiseALHeure(Plateforme &plateforme, std::function<void(const QString &)> informer)
        : mPlateforme(plateforme), mInformer(std::move(informer))
    {
    }

    static QDate dateDeConstruction();
    // source: who sent it, as the journal says it ("empreinte XXXX-XXXX", "non authentifié").
    void regler(const QByteArray &texte, qint64 ecartMaxS, const QString &source);

private:
    QString refus(const QDateTime &avant, const QDateTime &recue, qint64 ecartMaxS) const;

    Plateforme &mPlateforme;
    std::function<void(const QString &)> mInformer;
    bool mRefusSignale = false; // the system's own refusal, said once
    bool mEcartSignale = false; // a gap beyond the allowed one, said once until a step succeeds
};
