#pragma once

#include "platform/Disque.h"

#include <QString>

#include <algorithm>
#include <functional>

struct zip_stat;
struct zip_file;

// Decompression side of the archive component. Extracts the one file an archive holds into
// the extraction folder. The name stored in the archive is not trusted: only its last
// component is used, cleaned of anything that could lead elsewhere.
class Dezipper
{
public:
    // The extracted file is written through this disk.
    explicit Dezipper(Disque &disque) : mDisque(disque) {}
    void Preparer() {}
    QString NomArchive() const { return mNomArchive; }
    void setNomArchive(const QString &chemin) { mNomArchive = chemin; }
    void setDossierExtraction(const QString &dossier) { mDossierExtraction = dossier; }
    // On failure raison (when given) says why, in French.
    bool Decompresser(QString *raison = nullptr);
    void Fermer() {}

    // The file the last Decompresser wrote, and the name the archive gave it.
    QString FichierExtrait() const { return mFichierExtrait; }

    // The largest file an archive may hold: what the old protocol can carry (999 parts of
    // 1024 characters) at a compression ratio of 64, or 64 times the archive when that is
    // more; above it the archive is refused unread, as a bomb would be.
    static constexpr qint64 tailleMaxExtraite = 999LL * 1024 * 64;
    static constexpr qint64 rapportMaxExtraction = 64;
    static qint64 plafondExtraction(qint64 tailleArchive) { return std::max(tailleMaxExtraite, rapportMaxExtraction * tailleArchive); }

    // The room left on the extraction folder's disk; a test puts a small disk here.
    std::function<qint64(const QString &dossier)> espaceLibre = espaceLibreDuDisque;
    static qint64 espaceLibreDuDisque(const QString &dossier);
    // Why extracting that many bytes into the folder would eat into the disk's reserve;
    // empty when it would not.
    std::function<QString(const QString &dossier, qint64 taille)> reserve;

    // Why the disk refused the extracted file, when it did.
    const ErreurDisque &panne() const { return mPanne; }

    // A name from outside made safe as the name of a file inside a folder of ours.
    static QString nomSur(const QString &nom);

private:
    bool decompresser(QString &raison);
    bool tailleAcceptee(const zip_stat &stat, QString &raison) const;
    // Into a new file of the extraction folder, whose name comes back in cible.
    bool extraire(zip_file *entree, qint64 taille, QString &cible, QString &raison);

    QString mNomArchive;
    QString mDossierExtraction;
    QString mFichierExtrait;
    Disque &mDisque;
    ErreurDisque mPanne;
};
