#pragma once

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QString>

#include <functional>

// Why the disk did not take something: the system's code, and what to say.
struct ErreurDisque
{
    int code = 0;
    QString texte;

    static ErreurDisque de(int code, const QString &chemin);
    // The disk itself refused (full, over quota, over a size limit, failing): nothing of
    // this file is kept or acknowledged, and it is taken again once the disk allows.
    bool duDisque() const;
};

// What reaches the disk for good. A received file is acknowledged only once its data and its
// name would survive a power cut: every write checked to its end, its data synced, its name
// put in place without replacing anything, then its folder synced.
//
// The virtual calls are the seam, one a system call, each returning 0 (or what it made)
// or minus the system's error code; the production side calls the system, the simulated side
// also plays power cuts and the disk's faults.
class Disque
{
public:
    virtual ~Disque() = default;

    // A file opened without following a link at its last component (mode 0600 when made).
    virtual int ouvrir(const QString &chemin, int drapeaux) = 0;
    // Writes at position (at the end of what was written when negative); may write less.
    virtual qint64 ecrireAuPlus(int fd, const char *donnees, qint64 taille, qint64 position) = 0;
    virtual int synchroniser(int fd) = 0;
    virtual int fermer(int fd) = 0;
    // Never replaces cible. Some file systems (shares, FUSE, older kernels) refuse it.
    virtual int renommerSansRemplacer(const QString &source, const QString &cible) = 0;
    // Never replaces cible either; some shares refuse hard links.
    virtual int lier(const QString &source, const QString &cible) = 0;
    // Replaces cible.
    virtual int renommer(const QString &source, const QString &cible) = 0;
    virtual int supprimer(const QString &chemin) = 0;

    // The file's (or folder's) data and names reach the disk. A link is not followed.
    bool synchroniserChemin(const QString &chemin, ErreurDisque &erreur);
    bool synchroniserDossier(const QString &dossier, ErreurDisque &erreur);
    // All of it, or an error: a short write is followed until the disk says why it stops.
    bool ecrireTout(int fd, const QString &chemin, const char *donnees, qint64 taille, qint64 position, ErreurDisque &erreur);

    enum class Renommage { Fait, AutreDisque, Echec };
    // Within one file system, never over a name already there, a link included, on every
    // file system a site uses: where the rename without replacing is refused, a hard link
    // then the old name removed; where links are refused too, a rename after a check.
    Renommage placerNom(const QString &source, const QString &cible, ErreurDisque &erreur);

    // Moves a file to cible for good: its data synced, renamed (or copied when cible lies on
    // another file system), cible's folder synced, source gone. False, with the reason, when
    // cible's name is taken or anything fails; source then stays.
    bool placer(const QString &source, const QString &cible, ErreurDisque &erreur);
    // A new file at chemin, for good, with exactly this content; never over an existing name.
    bool ecrire(const QString &chemin, const QByteArray &contenu, ErreurDisque &erreur);
    // The file at chemin replaced whole, for good. A link standing there is replaced, never
    // written through (as QSaveFile would).
    bool remplacer(const QString &chemin, const QByteArray &contenu, ErreurDisque &erreur);

    // What the disk says once per folder (how it puts names in place there).
    std::function<void(const QString &texte)> avis;

    // Opens chemin into fichier (created when writing, mode 0600 then) without following a
    // link planted at that name. fichier keeps no name: the caller keeps chemin. For reading,
    // and for a journal that checks each line itself.
    static bool ouvrirSansLien(QFile &fichier, const QString &chemin, QIODevice::OpenMode mode, QString &erreur);

    // The names this station gives its work files beside their targets: lower-case letters,
    // which a received name (always upper-case here) never has.
    static bool nomProvisoire(const QString &nom);

private:
    void direUneFois(const QString &texte);
    QSet<QString> mDits;
};
