#pragma once

#include "link/shared/MethodeCodage.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>

// Turns a file into what crosses the line, one bounded piece of work per step, so that the
// station's one thread answers the line between steps.
class Encodeur
{
public:
    // references: against references only, the files laid end to end that the other side holds
    // (for Tables, the tables first).
    // fort: zstd at its strongest level, slow; worth it when the bytes saved take long on the line.
    Encodeur(MethodeCodage::Methode methode, const QString &source, const QString &cible, const QStringList &references = {},
             bool fort = true);
    ~Encodeur();

    // One step; false once done, or failed (erreur then says why).
    bool etape();
    const QString &erreur() const { return mErreur; }
    bool reussi() const { return mFini && mErreur.isEmpty(); }
    qint64 taille() const { return mEcrits; }
    MethodeCodage::Methode methode() const { return mMethode; }

    // Entropy tables for files of one kind, measured on echantillons coded against contenu:
    // nothing when there is too little to learn from.
    static QByteArray tables(const QStringList &contenu, const QStringList &echantillons);

private:
    struct Moteur;
    bool echouer(const QString &erreur);
    bool ecrire(const char *octets, qint64 n);
    bool etapeFlux();
    bool etapeDifference();

    MethodeCodage::Methode mMethode;
    QFile mSource;
    QFile mCible;
    QStringList mReferences;
    QByteArray mTables;
    qint64 mTailleReference = 0;
    qint64 mMorceau = 0; // the next frame, against a reference
    qint64 mEcrits = 0;
    bool mFini = false;
    QString mErreur;
    std::unique_ptr<Moteur> mMoteur;
};
