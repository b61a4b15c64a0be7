#pragma once

#include "Minuterie.h"
#include "Plateforme.h"
#include "ProprietaireLiaison.h"

#include <memory>

// A window-less owner for a link object: used until the main window exists.
class ProprietaireConsole : public ProprietaireLiaison
{
public:
    explicit ProprietaireConsole(Plateforme &plateforme) : mMinuterie(plateforme.creerMinuterie()) {}

    Minuterie &TimeOutAppel() override { return *mMinuterie; }
    void curseurAttente(bool) override {}
    bool fenetreMinimisee() const override { return true; } // no position to keep
    QPoint positionFenetre() const override { return {}; }
    void deplacerFenetre(const QPoint &) override {}
    QSize tailleEcran() const override { return {1920, 1080}; }
    int valeurCocheConnecter() const override { return 1; }
    void setCocheSynchro(int) override {}
    void chargerFenetreInstance() override {}
    void terminerFenetreInstance() override {}

private:
    std::unique_ptr<Minuterie> mMinuterie;
};
