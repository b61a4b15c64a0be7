#pragma once

#include "platform/SurveillanceFenetre.h"

#include <QLocalServer>

// Production side: a local socket named after the caption, mode 0600 in a folder of this
// user's alone ($RUNTIME_DIRECTORY for the service, else $XDG_RUNTIME_DIR/navette, else a
// folder of the temporary one made for this user). Only this user or root is answered. A
// message is one text line, "numéro wParam lParam", answered by one line.
class SurveillanceFenetreLocale : public SurveillanceFenetre
{
public:
    SurveillanceFenetreLocale();
    bool setFenetre(const QString &caption, QString *raison) override;

    // The client's side: sends one message to the instance named by caption, looking in the
    // services' folder then in this user's, and returns its answer line. False when no
    // instance answers; refus then says why a socket found was not trusted, if one was.
    static bool envoyer(const QString &caption, qint32 msg, qint32 wParam, QString &reponse, QString *refus = nullptr,
                        int delaiMs = 3000);

    static inline const QString dossierServices = QStringLiteral("/run/navette");
    // This user's folder, made when missing; empty, with the reason, when it cannot be trusted.
    static QString dossierPrive(QString *raison = nullptr);

private:
    static bool envoyerA(const QString &adresse, qint32 msg, qint32 wParam, QString &reponse, int delaiMs);

    QLocalServer mServeur;
};
