#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// What reaches the disk for good. A received file is acknowledged only once its data and its
// name would survive a power cut: its data synced, its name put in place without replacing
// anything, then its folder synced. The three primitives are the seam; the production side
// calls the system, the simulated side also remembers what was synced, to play power cuts.
class Disque
{
public:
    virtual ~Disque() = default;

    // The file's data reaches the disk. A link is not followed.
    virtual bool synchroniser(const QString &chemin, QString &erreur) = 0;
    // The folder's names reach the disk: one put there survives a power cut.
    virtual bool synchroniserDossier(const QString &dossier, QString &erreur) = 0;
    enum class Renommage { Fait, AutreDisque, Echec };
    // Renames within one file system. Never replaces a name already there, a link included.
    virtual Renommage renommer(const QString &source, const QString &cible, QString &erreur) = 0;

    // Moves a file to cible for good: its data synced, renamed (or copied when cible lies on
    // another file system), cible's folder synced, source gone. False, with the reason, when
    // cible's name is taken or anything fails; source then stays.
    bool placer(const QString &source, const QString &cible, QString &erreur);
    // A new file at chemin, for good, with exactly this content; never over an existing name.
    bool ecrire(const QString &chemin, const QByteArray &contenu, QString &erreur);
    // The file at chemin replaced whole, for good. A link standing there is replaced, never
    // written through (as QSaveFile would).
    bool remplacer(const QString &chemin, const QByteArray &contenu, QString &erreur);

    // Opens chemin into fichier (created when writing, mode 0600 then) without following a
    // link planted at that name. fichier keeps no name: the caller keeps chemin.
    static bool ouvrirSansLien(QFile &fichier, const QString &chemin, QIODevice::OpenMode mode, QString &erreur);
};
