#pragma once

#include "link/shared/MethodeCodage.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// Turns what crossed the line back into the file, one bounded piece of work per step. What
// it gives never goes beyond the size the sender announced: a damaged or hostile frame ends
// in an error, never in a flood.
class Decodeur
{
public:
    using Ecriture = std::function<bool(const char *octets, qint64 n)>;
    Decodeur(MethodeCodage::Methode methode, const QString &source, qint64 tailleAttendue, Ecriture ecrire,
             const QStringList &references = {});
    // What crossed, held in memory (a small file that came within its offer).
    Decodeur(MethodeCodage::Methode methode, const QByteArray &contenu, qint64 tailleAttendue, Ecriture ecrire,
             const QStringList &references = {});
    ~Decodeur();

    // One step; false once done, or failed (erreur then says why).
    bool etape();
    bool reussi() const { return mFini && mErreur.isEmpty(); }
    const QString &erreur() const { return mErreur; }

private:
    struct Moteur;
    bool echouer(const QString &erreur);
    bool donner(const char *octets, qint64 n);
    bool etapeFlux();
    bool etapeDifference();
    void ouvrir();

    MethodeCodage::Methode mMethode;
    std::unique_ptr<QIODevice> mSource;
    qint64 mAttendus;
    qint64 mDonnes = 0;
    Ecriture mEcrire;
    QStringList mReferences;
    QByteArray mTables;
    qint64 mTailleReference = 0;
    qint64 mMorceau = 0;
    size_t mResteZstd = 1; // 0 once a frame ended
    bool mFini = false;
    QString mErreur;
    std::unique_ptr<Moteur> mMoteur;
};
