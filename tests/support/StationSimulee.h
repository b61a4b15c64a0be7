#pragma once

#include "link/CInterlocuteur.h"
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
    void prendreFocus() override {}
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
    QPoint pos{200, 100};
    bool sablier = false;
    QStringList edites;
    bool editeurPresent = true;
    int codeSortie = -1;
};

// The one station every test fixture is made of: a program folder of its own with its
// configuration file, and either
// - its link object alone (creer, creerConfiguree) under a stand-in main window, its
//   notifications recorded; or
// - the whole program as it starts (charger): the main window's logic over a scripted view,
//   with the link object that window makes.
class StationSimulee
{
public:
    explicit StationSimulee(Environnement env) : environnement(env), proprietaire(env.plateforme) {}
    ~StationSimulee();

    QString cheminIni() const { return dossier.filePath("navette.INI"); }
    QString chemin(const QString &nom) const { return dossier.filePath(nom); }

    CInterlocuteur &creer();
    // A configured link object on the given port, with incoming and outgoing folders.
    CInterlocuteur &creerConfiguree(const QString &port = QStringLiteral("COM1:"), const QByteArray &autresCles = {});

    // Writes navette.INI, then loads the window (Form_Load) for the station given.
    FMain &charger(const QByteArray &ini, const QString &ligneCommande = {});
    FMain &fenetre() { return *principale; }
    // The link object, the window's or the one made alone.
    CInterlocuteur &lien() { return poste ? *poste : *principale->Poste(); }

    Environnement environnement;
    QTemporaryDir dossier;
    FichierIni ini;
    DialogueScripte dialogue;

    // The link object alone.
    ProprietaireSimule proprietaire;
    std::unique_ptr<CInterlocuteur> poste;
    QStringList informations, etats, commandes, fichiersRecus;
    QList<QByteArray> trames; // every frame the driver received, answers that came late included
    bool garderTrames = true; // off where the frames would hold a whole large file

    // The whole program.
    CorrespondancePorts correspondance;
    VueMainScriptee vue;
    FFermeture::Fabrique surveillance;                               // the instance window's endpoint, when a test wants one
    decltype(ContexteMain::surveillanceDossier) surveillanceDossier; // likewise, the outgoing folder's watcher
    std::unique_ptr<FMain> principale;
};

QByteArray lireFichier(const QString &chemin);
void ecrireFichier(const QString &chemin, const QByteArray &contenu);
// Data makers: the same bytes for the same seed; the files of a folder, by name.
QByteArray aleatoire(qsizetype taille, unsigned graine = 5);
QStringList fichiersDe(const QString &dossier);
