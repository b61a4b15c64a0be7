#pragma once

#include "platform/SurveillanceFenetre.h"

#include <QLocalServer>

// Production side: a local socket named after the caption, in the temporary folder, or in
// $RUNTIME_DIRECTORY under a service whose /tmp is private. A message is one text line,
// "numéro wParam lParam", answered by one line.
class SurveillanceFenetreLocale : public SurveillanceFenetre
{
public:
    SurveillanceFenetreLocale();
    bool setFenetre(const QString &caption, QString *raison) override;

    // The client's side: sends one message to the instance named by caption, looking in the
    // temporary folder then in the services' folder, and returns its answer line; false
    // when no instance answers.
    static bool envoyer(const QString &caption, qint32 msg, qint32 wParam, QString &reponse, int delaiMs = 3000);

    static inline const QString dossierServices = QStringLiteral("/run/navette");

private:
    static QString adresse(const QString &caption);
    static bool envoyerA(const QString &adresse, qint32 msg, qint32 wParam, QString &reponse, int delaiMs);

    QLocalServer mServeur;
};
