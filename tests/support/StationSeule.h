#pragma once

#include "tests/support/ApplicationSimulee.h"
#include "tests/support/BancLigne.h"
#include "tests/support/SurveillanceDossierSimulee.h"

#include <QList>

// One station whose line ends at a scripted peer that answers as a station would.
struct StationSeule : BancLigne
{
    StationSeule() : app(env())
    {
        app.surveillanceDossier = [this] {
            auto v = std::make_unique<SurveillanceDossierSimulee>(plateforme);
            veille = v.get();
            return v;
        };
        repondeur = [this](const QByteArray &t) -> QByteArray {
            if (muet)
                return {};
            if (t.startsWith("RECEPFICHIER")) {
                recus << t.mid(13, int(static_cast<unsigned char>(t[12])));
                if (recus.last() == refuse)
                    return {};
            }
            return reponseDePoste(t);
        };
        app.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\n", "A");
    }
    QString envoi(const QString &nom) { return app.chemin("Envois à A/" + nom); }
    ApplicationSimulee app;
    SurveillanceDossierSimulee *veille = nullptr; // made when the scanner goes on
    QList<QByteArray> recus;                      // names of the files the peer was sent
    bool muet = false;
    QByteArray refuse; // the name of a file never acknowledged
};
