#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class QLockFile;

// The profile file: named sections of "key=value" lines, made to be read and edited by a
// person. Names are written as they are (blanks and accents included), compared without
// regard to case or surrounding blanks; a value is all that follows "=", blanks included.
// Every line the file holds is kept byte for byte:
// comments, lines it does not understand, duplicate sections and keys (the first one counts).
// The file is UTF-8; a file that is not valid UTF-8 is read as Windows-1252.
//
// Enregistrer replaces the whole file atomically and flushes it to disk before returning: a
// failed or interrupted write leaves the previous file whole.
class FichierIni
{
public:
    QString Fichier() const { return mFichier; }
    void setFichier(const QString &chemin);
    void setSection(const QString &section) { mSection = section; }
    QString Section() const { return mSection; }
    void setCle(const QString &cle) { mCle = cle; }
    QString Cle() const { return mCle; }
    QString Valeur() const { return mValeur; }
    void setValeur(const QString &valeur) { mValeur = valeur; }

    // True when the key exists in the section; Valeur then holds its value, else "".
    bool Lire();
    // Stores Valeur under the key, creating section and key when missing; on failure raison
    // (when given) says why, in French.
    bool Enregistrer(QString *raison = nullptr);

    // Keys of a section, in file order, each once.
    QStringList Cles(const QString &section);

    // How Enregistrer waits for another program's lock on the file: QLockFile::tryLock by
    // default; a test puts a virtual wait here. This wait blocks the thread on purpose:
    // nothing else may run in the middle of a read-modify-write.
    std::function<bool(QLockFile &verrou, int delaiMs)> attenteVerrou = attendreVerrou;
    static bool attendreVerrou(QLockFile &verrou, int delaiMs);
    static constexpr int delaiVerrouMs = 10'000;

private:
    struct Ligne
    {
        QByteArray brut;  // as read, without its line end
        QByteArray fin;   // its line end as read: "\r\n", "\n", "\r", or none at the end
        QString section;  // the section the line belongs to
        QString cle;      // empty when the line holds no key
        QString valeur;
        bool enTete = false;
    };

    void charger();
    QByteArray encoder(const QString &texte) const;
    static bool memeNom(const QString &a, const QString &b);
    int trouverCle(const QString &section, const QString &cle) const;
    static Ligne analyser(const QByteArray &brut, const QString &sectionCourante, bool utf8);
    // The key's line replaced, or added at the end of its section's first block.
    void placer(QList<Ligne> &lignes, const QString &section, const QString &cle, const QString &valeur) const;
    bool ecrire(const QList<Ligne> &lignes, QString &raison) const;

    QString mFichier;
    QString mSection;
    QString mCle;
    QString mValeur;

    QList<Ligne> mLignes;
    QByteArray mFinDeLigne = "\n"; // the file's first line end, for new lines
    QByteArray mPrefixe;            // byte-order marks
    bool mUtf8 = true;              // else Windows-1252, for new lines too
};
