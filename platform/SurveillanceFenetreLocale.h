#pragma once

#include "SurveillanceFenetre.h"

#include <QLocalServer>

// Production side: a local socket named after the caption. A message is one text line,
// "numéro wParam lParam", answered by one line.
class SurveillanceFenetreLocale : public SurveillanceFenetre
{
public:
    SurveillanceFenetreLocale();
    QString setFenetre(const QString &caption) override;

    // The client's side: sends one message to the instance named by caption and returns its
    // answer line; false with a French reason when no instance answers.
    static bool envoyer(const QString &caption, qint32 msg, qint32 wParam, QString &reponse, int delaiMs = 3000);

private:
    QLocalServer mServeur;
};
