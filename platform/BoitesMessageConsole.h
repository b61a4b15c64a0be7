#pragma once

#include "BoitesMessage.h"

// For programs without windows: the box goes to the standard error stream.
class BoitesMessageConsole : public BoitesMessage
{
public:
    int afficher(const QString &message, int boutons, const QString &titre) override;
    bool afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                       int typeFenetre = 1) override;
    QString saisir(const QString &invite, const QString &titre) override;
};
