#pragma once

#include "securite/Noise.h"

#include <QByteArray>

#include <optional>

// The texts of one connection once the handshake is done. Each frame is its counter (four
// bytes, most significant first), then the text sealed under this direction's key with the
// counter as nonce. A frame whose counter is not above the last one taken is a replay or
// out of order; one whose tag fails was altered or cut: both are refused.
class CanalChiffre
{
public:
    CanalChiffre(Noise::EtatChiffrement envoi, Noise::EtatChiffrement reception, QByteArray empreinteDistante);

    static constexpr qsizetype surcout = 4 + Noise::longueurTag;

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
