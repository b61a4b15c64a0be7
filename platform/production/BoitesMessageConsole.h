#pragma once

#include "platform/BoitesMessage.h"

class Plateforme;

// For programs without windows: the box goes to the standard error stream and takes its
// default button; a timed box counts down first (on the platform's clock, when given).
class BoitesMessageConsole : public BoitesMessage
{
public:
    explicit BoitesMessageConsole(Plateforme *plateforme = nullptr) : mPlateforme(plateforme) {}
    int afficher(const QString &message, int boutons, const QString &titre) override;
    bool afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                       int typeFenetre = EtatFenetre::Minimisee) override;
    QString saisir(const QString &invite, const QString &titre) override;

private:
    Plateforme *mPlateforme;
};
