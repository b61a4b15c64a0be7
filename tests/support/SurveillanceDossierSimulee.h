#pragma once

#include "platform/SurveillanceDossier.h"

class Plateforme;

// Simulated side: the test says what the system would report, and when.
class SurveillanceDossierSimulee : public SurveillanceDossier
{
public:
    explicit SurveillanceDossierSimulee(Plateforme &plateforme) : mPlateforme(plateforme) {}
    ~SurveillanceDossierSimulee() override;

    bool surveiller(const QString &dossier, QString *raison) override;
    bool surveille() const override { return !mDossier.isEmpty(); }
    bool signaleLesFermetures() const override { return fermetures; }
    QSet<QString> ouvertsEnEcriture() const override { return ouverts; }

    // Raised from the event loop, as the system's would be; nothing when no folder is watched.
    void signaler(const QString &chemin, bool complet);
    QString dossier() const { return mDossier; }

    bool fermetures = true;
    QSet<QString> ouverts;
    QString refus; // what surveiller() answers

private:
    Plateforme &mPlateforme;
    QString mDossier;
    QSet<quint64> mEnAttente;
};
