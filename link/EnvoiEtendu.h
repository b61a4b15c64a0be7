#pragma once

#include "link/EnvoiFichier.h"
#include "link/shared/Plages.h"
#include "link/shared/TramesEtendues.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class CanalLiaison;
class QFile;

// Sending one file to a station that showed the extension: offered with its size and
// SHA-256, taken up where the other side's copy stops, then sent in checked slices with
// several in flight, each acknowledged by the ranges the other side holds. A slice reported
// missing is sent again alone; the file counts as delivered only once the other side checked
// it whole and stored it.
class EnvoiEtendu
{
public:
    explicit EnvoiEtendu(CanalLiaison &canal) : mCanal(canal) {}

    // lignePerdue: true once the carrier or the link was lost since the send began.
    EnvoiFichier::Issue envoyer(const QString &fichier, const std::function<bool()> &lignePerdue);
    // What crosses is fichier, coded from the file named nom: the offer says how. When the
    // other side lacks a reference, or could not rebuild the file with them, the send ends
    // in Abandon with sansReference() true.
    EnvoiFichier::Issue envoyerCode(const QString &fichier, const QByteArray &nom, const TramesEtendues::Codage &codage,
                                    const std::function<bool()> &lignePerdue);
    bool sansReference() const { return mSansReference; }
    // The other station's acknowledgement, or its refusal in the middle of the slices.
    void surAcquit(const QByteArray &texte);
    void surRefus(const QByteArray &texte);
    // A new connection: the error rate seen on the last one says nothing of this one.
    void oublierLigne() { mOctetsEnvoyes = mPertes = 0; }
    // The last send got more of the file acknowledged than the other side held at its start.
    bool avance() const { return mAvance; }

    // Chosen from the line's speed and the round trip measured on this connection.
    static qint64 fenetre(qint64 octetsParSeconde, quint32 allerRetourMs, qint32 tranche);
    // The slice that loses least to damage at the error rate seen so far.
    static qint32 tranche(qint32 trancheMax, qint64 octetsEnvoyes, qint64 pertes);

private:
    struct EnVol
    {
        qint64 debut, fin;
        quint64 ordre; // of sending
    };
    EnvoiFichier::Issue offrir(const QString &fichier, const QByteArray &nom, const TramesEtendues::Codage *codage,
                               const std::function<bool()> &lignePerdue);
    EnvoiFichier::Issue offrirAvecContenu(const QString &fichier, const QByteArray &nom, const TramesEtendues::Codage &codage,
                                          const std::function<bool()> &lignePerdue);
    void commencer(qint64 taille, qint64 debut);
    EnvoiFichier::Issue transmettre(QFile &lecture, qint64 taille, qint64 debut, const std::function<bool()> &lignePerdue);
    EnvoiFichier::Issue envoyerLesTranches(QFile &lecture, qint64 taille, qint64 debut, const std::function<bool()> &lignePerdue);
    // The next slice to send, if any; suivant: where new slices start.
    std::optional<std::pair<qint64, qint64>> prochaineTranche(qint64 &suivant, qint32 trancheMax);
    // After silences rounds with no answer: false when the file must wait its turn.
    bool renvoyerLeVol(int silences);
    // Livre once the slice went out; Abandon when it could not be read; Fin, the engine gone.
    EnvoiFichier::Issue envoyerTranche(QFile &lecture, qint64 debut, qint64 fin);
    // What is acknowledged leaves the flight; what was sent before it and is not, is lost.
    void recenser();
    qint64 octetsEnVol() const;

    CanalLiaison &mCanal;
    bool mActif = false;
    bool mAvance = false;
    bool mSansReference = false;
    qint64 mTaille = 0;
    qint64 mTailleFichier = 0; // what the progress counts
    Plages mRecu;
    std::vector<EnVol> mEnVol;
    Plages mARenvoyer;
    quint64 mOrdre = 0;
    bool mNouvelles = false; // an acknowledgement came since the last look
    QString mRefus;
    qint64 mOctetsEnvoyes = 0;
    qint64 mPertes = 0;
};
