#pragma once

#include "securite/Noise.h"

#include <QByteArray>

#include <optional>

// The texts of one connection once the handshake is done. Each frame is the low 16 bits of its
// counter (most significant first), then the text sealed under this direction's key with the
// whole counter as nonce. The receiver takes the first counter above the last one it took
// that ends in those bits: a replayed, reordered, altered or cut frame then fails its tag and
// is refused. Lost frames (noise) only skip counters.
class CanalChiffre
{
public:
    CanalChiffre(Noise::EtatChiffrement envoi, Noise::EtatChiffrement reception, QByteArray empreinteDistante);

    static constexpr qsizetype surcout = 2 + Noise::longueurTag;

    // Nothing once the counter is spent: the connection must end.
    std::optional<QByteArray> sceller(const QByteArray &texte);
    std::optional<QByteArray> ouvrir(const QByteArray &trame);
    quint32 refusees() const { return mRefusees; }
    QByteArray empreinteDistante() const { return mEmpreinteDistante; }

private:
    Noise::EtatChiffrement mEnvoi, mReception;
    quint64 mProchainEnvoi = 0;
    quint64 mProchaineReception = 0;
    quint32 mRefusees = 0;
    QByteArray mEmpreinteDistante;
};
