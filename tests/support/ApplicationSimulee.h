#pragma once

#include "mainwindow/FMain.h"
#include "platform/CorrespondancePorts.h"
#include "platform/FichierIni.h"
#include "tests/support/ProprietaireSimule.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// Stands in for the main window's widgets: records what FMain asks of them.
class VueMainScriptee : public VueMain
{
public:
    // The connect box's values, each change once.
    void rafraichir(FMain &f) override
    {
        if (etatsCoche.isEmpty() || etatsCoche.last() != f.CocheConnecter())
            etatsCoche << f.CocheConnecter();
    }
    QList<int> etatsCoche;
    void ligneAjoutee(const QString &liste, const QString &ligne) override { lignes << liste + QStringLiteral(" | ") + ligne; }
    int etatFenetre() const override { return etat; }
    void setEtatFenetre(int e) override { etat = e; }
    void prendreFocus() override { ++focus; }
    QPoint position() const override { return pos; }
    void deplacer(const QPoint &p) override { pos = p; }
    QSize tailleEcran() const override { return {1280, 1024}; }
    void curseurAttente(bool a) override { sablier = a; }
    bool ouvrirEditeur(const QString &chemin) override
    {
        edites << chemin;
        return editeurPresent;
    }
    void quitter(int code) override { codeSortie = code; }

    QStringList lignes;
    int etat = 0;
    int focus = 0;
    QPoint pos{200, 100};
    bool sablier = false;
    QStringList edites;
    bool editeurPresent = true;
    int codeSortie = -1;
};

// A whole station as the program starts it: a program folder of its own with its
// configuration file, the main window's logic and its link object.
class ApplicationSimulee
{
public:
    explicit ApplicationSimulee(Environnement env) : env(env) {}

    QString chemin(const QString &nom) const { return dossier.filePath(nom); }
    // Writes navette.INI, then loads the window (Form_Load) for the station given.
    FMain &charger(const QByteArray &ini, const QString &ligneCommande = {});
    FMain &fenetre() { return *principale; }
    CInterlocuteur &poste() { return *principale->Poste(); }

    Environnement env;
    QTemporaryDir dossier;
    FichierIni fichierIni;
    CorrespondancePorts correspondance;
    VueMainScriptee vue;
    DialogueScripte dialogue;
    FFermeture::Fabrique surveillance; // the instance window's endpoint, when a test wants one
    decltype(ContexteMain::surveillanceDossier) surveillanceDossier; // likewise, the outgoing folder's watcher
    std::unique_ptr<FMain> principale;
};
