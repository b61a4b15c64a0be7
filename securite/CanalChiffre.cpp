#include "securite/CanalChiffre.h"

#include <QtEndian>

namespace {
constexpr quint64 compteurMax = 0xFFFF'FFFFull;
}

CanalChiffre::CanalChiffre(Noise::EtatChiffrement envoi, Noise::EtatChiffrement reception, QByteArray empreinteDistante)
    : mEnvoi(std::move(envoi)), mReception(std::move(reception)), mEmpreinteDistante(std::move(empreinteDistante))
{
}

std::optional<QByteArray> CanalChiffre::sceller(const QByteArray &texte)
{
    if (mProchainEnvoi > compteurMax)
        return std::nullopt;
    const quint64 n = mProchainEnvoi++;
    QByteArray trame(4, Qt::Uninitialized);
    qToBigEndian(quint32(n), trame.data());
    return trame + mEnvoi.chiffrer(n, {}, texte);
}

std::optional<QByteArray> CanalChiffre::ouvrir(const QByteArray &trame)
{
    std::optional<QByteArray> texte;
    if (trame.size() >= surcout) {
        const quint64 n = qFromBigEndian<quint32>(trame.constData());
        if (n >= mProchaineReception)
            texte = mReception.dechiffrer(n, {}, trame.mid(4));
        if (texte)
            mProchaineReception = n + 1;
    }
    if (!texte)
        ++mRefusees;
    return texte;
}
