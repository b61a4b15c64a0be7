#include "securite/Noise.h"

#include <sodium.h>

#include <cstring>

namespace Noise {
namespace {
const unsigned char *octets(const QByteArray &b)
{
    return reinterpret_cast<const unsigned char *>(b.constData());
}

QByteArray hmac(const QByteArray &cle, const QByteArray &donnees)
{
    crypto_auth_hmacsha256_state etat;
    crypto_auth_hmacsha256_init(&etat, octets(cle), size_t(cle.size()));
    crypto_auth_hmacsha256_update(&etat, octets(donnees), quint64(donnees.size()));
    QByteArray sortie(crypto_auth_hmacsha256_BYTES, Qt::Uninitialized);
    crypto_auth_hmacsha256_final(&etat, reinterpret_cast<unsigned char *>(sortie.data()));
    sodium_memzero(&etat, sizeof etat);
    return sortie;
}

// Four zero bytes, then the counter little-endian.
std::array<unsigned char, crypto_aead_chacha20poly1305_IETF_NPUBBYTES> nonceDe(quint64 n)
{
    std::array<unsigned char, crypto_aead_chacha20poly1305_IETF_NPUBBYTES> nonce{};
    for (int i = 0; i < 8; ++i)
        nonce[4 + i] = static_cast<unsigned char>(n >> (8 * i));
    return nonce;
}
}

bool demarrer()
{
    return sodium_init() >= 0;
}

PaireDeCles PaireDeCles::tirer()
{
    demarrer();
    QByteArray privee(longueurCle, Qt::Uninitialized);
    randombytes_buf(privee.data(), size_t(privee.size()));
    return *depuisPrivee(privee);
}

std::optional<PaireDeCles> PaireDeCles::depuisPrivee(const QByteArray &privee)
{
    if (privee.size() != longueurCle)
        return std::nullopt;
    QByteArray publique(longueurCle, Qt::Uninitialized);
    if (crypto_scalarmult_base(reinterpret_cast<unsigned char *>(publique.data()), octets(privee)) != 0)
        return std::nullopt;
    return PaireDeCles{privee, publique};
}

std::pair<QByteArray, QByteArray> hkdf(const QByteArray &cleDeChainage, const QByteArray &entree)
{
    QByteArray temporaire = hmac(cleDeChainage, entree);
    const QByteArray un = hmac(temporaire, QByteArray(1, '\x01'));
    const QByteArray deux = hmac(temporaire, un + QByteArray(1, '\x02'));
    sodium_memzero(temporaire.data(), size_t(temporaire.size()));
    return {un, deux};
}

EtatChiffrement::EtatChiffrement(const QByteArray &cle)
{
    std::memcpy(mCle.data(), cle.constData(), mCle.size());
    mAUneCle = true;
}

EtatChiffrement::~EtatChiffrement()
{
    sodium_memzero(mCle.data(), mCle.size());
}

EtatChiffrement::EtatChiffrement(EtatChiffrement &&autre) noexcept
{
    *this = std::move(autre);
}

EtatChiffrement &EtatChiffrement::operator=(EtatChiffrement &&autre) noexcept
{
    mCle = autre.mCle;
    mAUneCle = std::exchange(autre.mAUneCle, false);
    sodium_memzero(autre.mCle.data(), autre.mCle.size());
    return *this;
}

QByteArray EtatChiffrement::chiffrer(quint64 nonce, const QByteArray &donneesAssociees, const QByteArray &texte) const
{
    QByteArray chiffre(texte.size() + longueurTag, Qt::Uninitialized);
    unsigned long long longueur = 0;
    const auto n = nonceDe(nonce);
    crypto_aead_chacha20poly1305_ietf_encrypt(reinterpret_cast<unsigned char *>(chiffre.data()), &longueur, octets(texte),
                                              quint64(texte.size()), octets(donneesAssociees), quint64(donneesAssociees.size()),
                                              nullptr, n.data(), mCle.data());
    return chiffre;
}

std::optional<QByteArray> EtatChiffrement::dechiffrer(quint64 nonce, const QByteArray &donneesAssociees, const QByteArray &chiffre) const
{
    if (chiffre.size() < longueurTag)
        return std::nullopt;
    QByteArray texte(chiffre.size() - longueurTag, Qt::Uninitialized);
    unsigned long long longueur = 0;
    const auto n = nonceDe(nonce);
    if (crypto_aead_chacha20poly1305_ietf_decrypt(reinterpret_cast<unsigned char *>(texte.data()), &longueur, nullptr, octets(chiffre),
                                                  quint64(chiffre.size()), octets(donneesAssociees),
                                                  quint64(donneesAssociees.size()), n.data(), mCle.data())
        != 0)
        return std::nullopt;
    return texte;
}

PoigneeDeMainKK::PoigneeDeMainKK(bool initiateur, const QByteArray &prologue, const PaireDeCles &statique,
                                 const QByteArray &statiqueDistante, std::optional<PaireDeCles> ephemere)
    : mInitiateur(initiateur), mStatique(statique), mStatiqueDistante(statiqueDistante), mEphemere(std::move(ephemere))
{
    demarrer();
    // The name is exactly as long as the hash: it is the first hash, unhashed.
    static_assert(sizeof(nomProtocole) - 1 == longueurCle);
    std::memcpy(mH.data(), nomProtocole, mH.size());
    mCk = mH;
    melangerHash(prologue);
    // Both static keys are known beforehand: the initiator's, then the responder's.
    melangerHash(initiateur ? statique.publique : statiqueDistante);
    melangerHash(initiateur ? statiqueDistante : statique.publique);
    if (statiqueDistante.size() != longueurCle)
        mEtape = -1;
}

PoigneeDeMainKK::~PoigneeDeMainKK()
{
    sodium_memzero(mCk.data(), mCk.size());
    sodium_memzero(mStatique.privee.data(), size_t(mStatique.privee.size()));
    if (mEphemere)
        sodium_memzero(mEphemere->privee.data(), size_t(mEphemere->privee.size()));
}

void PoigneeDeMainKK::melangerHash(const QByteArray &donnees)
{
    crypto_hash_sha256_state etat;
    crypto_hash_sha256_init(&etat);
    crypto_hash_sha256_update(&etat, mH.data(), mH.size());
    crypto_hash_sha256_update(&etat, octets(donnees), quint64(donnees.size()));
    crypto_hash_sha256_final(&etat, mH.data());
}

std::optional<QByteArray> PoigneeDeMainKK::dh(const QByteArray &privee, const QByteArray &publique) const
{
    QByteArray secret(longueurCle, Qt::Uninitialized);
    if (publique.size() != longueurCle
        || crypto_scalarmult(reinterpret_cast<unsigned char *>(secret.data()), octets(privee), octets(publique)) != 0)
        return std::nullopt;
    return secret;
}

bool PoigneeDeMainKK::melangerCle(const QByteArray &secretDH)
{
    auto [ck, cle] = hkdf(QByteArray(reinterpret_cast<const char *>(mCk.data()), longueurCle), secretDH);
    std::memcpy(mCk.data(), ck.constData(), mCk.size());
    mChiffre = EtatChiffrement(cle);
    mNonce = 0;
    sodium_memzero(ck.data(), size_t(ck.size()));
    sodium_memzero(cle.data(), size_t(cle.size()));
    return true;
}

QByteArray PoigneeDeMainKK::chiffrerEtHacher(const QByteArray &texte)
{
    const QByteArray h(reinterpret_cast<const char *>(mH.data()), longueurCle);
    const QByteArray chiffre = mChiffre.aUneCle() ? mChiffre.chiffrer(mNonce++, h, texte) : texte;
    melangerHash(chiffre);
    return chiffre;
}

std::optional<QByteArray> PoigneeDeMainKK::dechiffrerEtHacher(const QByteArray &chiffre)
{
    const QByteArray h(reinterpret_cast<const char *>(mH.data()), longueurCle);
    std::optional<QByteArray> texte = mChiffre.aUneCle() ? mChiffre.dechiffrer(mNonce, h, chiffre) : std::optional(chiffre);
    if (!texte)
        return std::nullopt;
    ++mNonce;
    melangerHash(chiffre);
    return texte;
}

std::optional<QByteArray> PoigneeDeMainKK::ecrire(const QByteArray &charge)
{
    if (mEtape < 0 || mEtape > 1 || !ecritAcetteEtape())
        return std::nullopt;
    if (!mEphemere)
        mEphemere = PaireDeCles::tirer();
    QByteArray message = mEphemere->publique;
    melangerHash(mEphemere->publique);
    // -> e, es, ss   then   <- e, ee, se
    const auto premier = mInitiateur ? dh(mEphemere->privee, mStatiqueDistante) : dh(mEphemere->privee, mEphemereDistante);
    const auto second = mInitiateur ? dh(mStatique.privee, mStatiqueDistante) : dh(mEphemere->privee, mStatiqueDistante);
    if (!premier || !second) {
        mEtape = -1;
        return std::nullopt;
    }
    melangerCle(*premier);
    melangerCle(*second);
    message += chiffrerEtHacher(charge);
    if (++mEtape == 2)
        separer();
    return message;
}

std::optional<QByteArray> PoigneeDeMainKK::lire(const QByteArray &message)
{
    if (mEtape < 0 || mEtape > 1 || ecritAcetteEtape() || message.size() < longueurCle + longueurTag) {
        mEtape = -1;
        return std::nullopt;
    }
    mEphemereDistante = message.left(longueurCle);
    melangerHash(mEphemereDistante);
    // The responder reads e, es, ss; the initiator reads e, ee, se.
    const auto premier = mInitiateur ? dh(mEphemere->privee, mEphemereDistante) : dh(mStatique.privee, mEphemereDistante);
    const auto second = mInitiateur ? dh(mStatique.privee, mEphemereDistante) : dh(mStatique.privee, mStatiqueDistante);
    std::optional<QByteArray> charge;
    if (premier && second) {
        melangerCle(*premier);
        melangerCle(*second);
        charge = dechiffrerEtHacher(message.mid(longueurCle));
    }
    if (!charge) {
        mEtape = -1;
        return std::nullopt;
    }
    if (++mEtape == 2)
        separer();
    return charge;
}

void PoigneeDeMainKK::separer()
{
    auto [un, deux] = hkdf(QByteArray(reinterpret_cast<const char *>(mCk.data()), longueurCle), QByteArray());
    mVersResponsable = EtatChiffrement(un);
    mVersInitiateur = EtatChiffrement(deux);
    sodium_memzero(un.data(), size_t(un.size()));
    sodium_memzero(deux.data(), size_t(deux.size()));
    mChiffre = EtatChiffrement();
}

EtatChiffrement PoigneeDeMainKK::envoi()
{
    return std::move(mInitiateur ? mVersResponsable : mVersInitiateur);
}

EtatChiffrement PoigneeDeMainKK::reception()
{
    return std::move(mInitiateur ? mVersInitiateur : mVersResponsable);
}
}
