#pragma once

#include <QString>

// Decompression side of the archive component. Extracts the one file an archive holds into
// the extraction folder. The name stored in the archive is not trusted: only its last
// component is used, cleaned of anything that could lead elsewhere.
class Dezipper
{
public:
    void Preparer() {}
    QString NomArchive() const { return mNomArchive; }
    void setNomArchive(const QString &chemin) { mNomArchive = chemin; }
    void setDossierExtraction(const QString &dossier) { mDossierExtraction = dossier; }
    // raison is "" on success, else why not, in French.
    void Decompresser(QString &raison);
    void Fermer() {}

    // The file the last Decompresser wrote, and the name the archive gave it.
    QString FichierExtrait() const { return mFichierExtrait; }

    // The largest file an archive may hold: what a sender can send (999 parts of 1024
    // characters) at a compression ratio of 64; above it the archive is refused unread.
    static constexpr qint64 tailleMaxExtraite = 999LL * 1024 * 64;

    // A name from outside made safe as the name of a file inside a folder of ours.
    static QString nomSur(const QString &nom);

private:
    QString mNomArchive;
    QString mDossierExtraction;
    QString mFichierExtrait;
};
