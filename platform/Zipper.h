#pragma once

#include <QString>
#include <QStringList>

// Compression side of the archive component: puts files into a standard zip archive, each at
// whichever method the zip library offers makes it smallest (bzip2, deflate, or stored when
// nothing shrinks it, or when a smaller one would expand past what a receiver accepts). The
// archive is written to a temporary file and renamed into place, so a failure never leaves a
// half-written archive under its name.
class Zipper
{
public:
    void Preparer() {}
    void Vider() { mFichiers.clear(); }
    // 0: smallest archive (every method tried); 1: deflate only, quicker.
    void Reglage(int reglage) { mReglage = reglage; }
    QString NomArchive() const { return mNomArchive; }
    void setNomArchive(const QString &chemin) { mNomArchive = chemin; }
    QStringList &Fichiers() { return mFichiers; }
    // Writes the archive; on failure raison (when given) says why, in French.
    bool Compresser(QString *raison = nullptr);
    void Fermer() { mFichiers.clear(); }

private:
    // raison stays "" on success.
    void creer(QString &raison);
    // In the order tried; for a large file, the best on its start only (and storing).
    QList<int> methodesAEssayer(qint64 tailleOriginale) const;
    // longueur: only the first bytes of each file, to try a method; -1: all.
    QString ecrire(const QString &chemin, int methode, qint64 longueur = -1) const;

    QString mNomArchive;
    QStringList mFichiers;
    int mReglage = 0;
};
