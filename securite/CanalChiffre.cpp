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
    QByteArray trame(2, Qt::Uninitialized);
    qToBigEndian(quint16(n), trame.data());
    return trame + mEnvoi.chiffrer(n, {}, texte);
}

std::optional<QByteArray> CanalChiffre::ouvrir(const QByteArray &trame)
{
    std::optional<QByteArray> texte;
    if (trame.size() >= surcout) {
        quint64 n = (mProchaineReception & ~quint64(0xFFFF)) | qFromBigEndian<quint16>(trame.constData());
        if (n < mProchaineReception)
            n += 0x10000;
        if (n <= compteurMax)
            texte = mReception.dechiffrer(n, {}, trame.mid(2));
        if (texte)
            mProchaineReception = n + 1;
    }
    if (!texte)
        ++mRefusees;
    return texte;
}
