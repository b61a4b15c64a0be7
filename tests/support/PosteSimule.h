#pragma once

#include "link/CInterlocuteur.h"
#include "platform/FichierIni.h"
#include "tests/support/ProprietaireSimule.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A station for tests: a temporary program folder with its configuration file, a stand-in
// main window, and a link object whose notifications are recorded.
class PosteSimule
{
public:
    PosteSimule(Environnement env, Plateforme &plateforme);
    ~PosteSimule();

    QString cheminIni() const { return dossier.filePath("navette.INI"); }
    QString chemin(const QString &nom) const { return dossier.filePath(nom); }
    CInterlocuteur &creer();
    // A configured station on the given port, with incoming and outgoing folders.
    CInterlocuteur &creerConfiguree(const QString &port = QStringLiteral("COM1:"), const QByteArray &autresCles = {});

    Environnement env;
    QTemporaryDir dossier;
    FichierIni ini;
    ProprietaireSimule proprietaire;
    DialogueScripte dialogue;
    std::unique_ptr<CInterlocuteur> poste;
    QStringList informations, etats, commandes, fichiersRecus;
    QList<QByteArray> trames; // every frame the driver received, answers that came late included
    bool garderTrames = true; // off where the frames would hold a whole large file
};

QByteArray lireFichier(const QString &chemin);
void ecrireFichier(const QString &chemin, const QByteArray &contenu);
// Data makers: the same bytes for the same seed; the files of a folder, by name.
QByteArray aleatoire(qsizetype taille, unsigned graine = 5);
QStringList fichiersDe(const QString &dossier);
