#pragma once

#include "link/ProprietaireLiaison.h"
#include "platform/Plateforme.h"
#include "serial/DialogueParametres.h"

#include <functional>
#include <memory>

// Stands in for the main window: its supervision timer, a window position, a screen size,
// and counts of what was asked of the instance window.
class ProprietaireSimule : public ProprietaireLiaison
{
public:
    explicit ProprietaireSimule(Plateforme &plateforme) : minuterie(plateforme.creerMinuterie()) {}

    Minuterie &TimeOutAppel() override { return *minuterie; }
    void curseurAttente(bool attente) override { sablier = attente; }
    bool fenetreMinimisee() const override { return minimisee; }
    QPoint positionFenetre() const override { return position; }
    void deplacerFenetre(const QPoint &p) override { position = p; }
    QSize tailleEcran() const override { return ecran; }
    int valeurCocheConnecter() const override { return cocheConnecter; }
    void setCocheSynchro(int valeur) override { cocheSynchro = valeur; }
    void posteDistantReconnu() override {}
    void receptionTerminee() override {}
    void chargerFenetreInstance() override {}
    void terminerFenetreInstance() override { ++terminaisonsInstance; }

    std::unique_ptr<Minuterie> minuterie;
    bool minimisee = false;
    bool sablier = false;
    QPoint position{100, 80};
    QSize ecran{1280, 1024};
    int cocheConnecter = 1;
    int cocheSynchro = 1;
    int terminaisonsInstance = 0;
};

// Stands in for the settings dialog: runs what the test says when shown.
class DialogueScripte : public DialogueParametres
{
public:
    bool afficher(FComm &comm, ParametresStation &poste) override
    {
        if (action)
            action(comm, poste);
        return false;
    }
    std::function<void(FComm &, ParametresStation &)> action;
};
