#pragma once

#include "platform/Disque.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

// Copies of the files exchanged with one remote station, named by their SHA-256, so that a
// file resembling one of them can cross as its difference. Bounded in bytes, the oldest out
// first; each copy is synced before the index names it; all of it goes when the remote key
// changes, since the files were exchanged with another station.
class CanalLiaison;

class MemoireFichiers
{
public:
    struct Entree
    {
        QByteArray sha256; // 64 lower-case hexadecimal digits
        qint64 taille = 0;
        QByteArray nom; // as on the wire
        QDateTime quand;
        quint64 numero = 0; // of keeping: the higher, the newer
    };

    // plafond: bytes; 0 and below switch the memory off.
    MemoireFichiers(Disque &disque, QString dossier, qint64 plafond, const QString &cleDistante);

    // The station's memory of the remote station it links to, as its settings say.
    static MemoireFichiers duPoste(CanalLiaison &canal);

    bool active() const { return mPlafond > 0; }
    std::vector<Entree> entrees() const;
    QString chemin(const QByteArray &sha256) const { return mDossier + QLatin1Char('/') + QString::fromLatin1(sha256); }
    // What to make a file against: the last file of the same name, else the newest files of
    // the same kind (extension, size within a factor of four), oldest first.
    std::vector<Entree> references(const QByteArray &nom, qint64 taille) const;
    // Entropy tables for the files of a kind travel and are kept as a file named "/TABLES" and
    // the extension ("/TABLES.TXT"): no file's name holds a slash.
    static QByteArray nomDesTables(const QByteArray &nomFichier);
    static bool sontDesTables(const QByteArray &nom);
    std::optional<Entree> tables(const QByteArray &nomFichier) const;
    // The one copy whose SHA-256 begins so, if exactly one does.
    std::optional<QByteArray> trouver(const QByteArray &debut) const;
    // Held and intact, its SHA-256 read again with ceder between pieces; a damaged copy is
    // forgotten. Nothing when ceder said to stop.
    std::optional<bool> tient(const QByteArray &sha256, const std::function<bool()> &ceder = {});
    // A copy of fichier kept under its SHA-256; ceder runs between pieces and says whether
    // to go on. False with the reason when the disk refused.
    bool retenir(const QString &fichier, const Entree &entree, ErreurDisque &erreur, const std::function<bool()> &ceder = {});
    void oublier(const QByteArray &sha256);

    static constexpr int referencesDuGenreMax = 10;
    // Tables are learnt once this many files of the kind are held, from files this small.
    static constexpr int fichiersPourLesTables = 8;
    static constexpr qint64 tablesAuPlusDe = 256 * 1024;

private:
    void ecrireIndex(const std::vector<Entree> &entrees);

    Disque &mDisque;
    QString mDossier;
    qint64 mPlafond;
};
