#pragma once

#include "link/AvancementFichier.h"
#include "link/RangementFichier.h"
#include "link/ReceptionEtendue.h"

#include <QByteArray>

class CanalLiaison;

// Receiving a file from the other station: its announce, its parts put together in order, the
// whole file stored then acknowledged, the end of the reception, and what the supervision does
// when the next piece does not come. A station of our own sends through the extension
// (etendue()); both store through rangement().
//
// Each step waits with events running: the link may be torn down meanwhile, and this with it.
class ReceptionFichier
{
public:
    explicit ReceptionFichier(CanalLiaison &canal);

    // The other station's texts, each answered: "FICHIER", "RECEPGROSFIC…", "RECEPFICHIER…".
    bool surAnnonce(const QByteArray &Texte);
    bool surPartie(const QByteArray &Texte);
    bool surFichierEntier(const QByteArray &Texte);
    // The supervision's time ran out while a file arrived.
    void echeance();
    // The driver's progress on a long text.
    void progression(qint32 recu, qint32 attendu);

    // The announce came; a part or a slice came and was answered (the wait starts again); the
    // file arrived whole, or its reception ended.
    void debut();
    void echangeRecu();
    void fin();
    // A reception given up (time-out, lost line, hang-up) lets its parts go.
    void abandonner();
    void fermer();

    // A file is still arriving: its last exchange is on record.
    bool enCours() const { return mDernierEchange != 0; }
    quint32 tickDebut() const { return mDebut; }
    qint64 tailleEnCours() const { return std::max<qint64>(mParties.size(), mEtendue.recus()); }
    ReceptionEtendue &etendue() { return mEtendue; }
    const ReceptionEtendue &etendue() const { return mEtendue; }
    RangementFichier &rangement() { return mRangement; }

private:
    struct Partie
    {
        bool sain = false;    // well formed, in order, and its key right
        bool complet = false; // it was the last
        bool doublon = false; // it came again
    };
    // One part ("iiiPPPkey\tdata").
    Partie recevoirPartie(const QByteArray &Texte);

    CanalLiaison &mCanal;
    RangementFichier mRangement{mCanal};
    QByteArray mParties;
    qint32 mDernierePartie = 0;
    bool mRangee = false; // the file of the last parts is stored
    quint32 mDernierEchange = 0;
    quint32 mDebut = 0;
    ReceptionEtendue mEtendue{mCanal, *this};
};
