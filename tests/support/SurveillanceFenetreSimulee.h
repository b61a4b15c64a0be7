#pragma once

#include "platform/SurveillanceFenetre.h"

#include <QMap>

// Simulated side: endpoints in one process, found by name; a test posts messages directly.
class SurveillanceFenetreSimulee : public SurveillanceFenetre
{
public:
    ~SurveillanceFenetreSimulee() override;
    bool setFenetre(const QString &caption, QString *raison) override;
    QString caption() const { return mCaption; }

    // Delivers a message to the endpoint of that name; false when none listens there.
    static bool envoyer(const QString &caption, qint32 msg, qint32 wParam, QString *reponse = nullptr);

private:
    static QMap<QString, SurveillanceFenetreSimulee *> &annuaire();
    QString mCaption;
};
