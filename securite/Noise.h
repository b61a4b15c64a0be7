#pragma once

#include <QByteArray>

#include <array>
#include <optional>

// The Noise framework's KK handshake over Curve25519, ChaCha20-Poly1305 and SHA-256, on
// libsodium's primitives. Each side knows the other's static key beforehand: two messages
// authenticate both and give one key per direction.
namespace Noise {

inline constexpr qsizetype longueurCle = 32;
inline constexpr qsizetype longueurTag = 16;
inline constexpr char nomProtocole[] = "Noise_KK_25519_ChaChaPoly_SHA256";

// Call before anything else of this namespace; false when libsodium cannot start.
bool demarrer();

struct PaireDeCles
{
    QByteArray privee; // 32 bytes
    QByteArray publique;
    static PaireDeCles tirer();
    static std::optional<PaireDeCles> depuisPrivee(const QByteArray &privee);
};

// One direction's key. The nonce is the frame's counter, given by the caller.
class EtatChiffrement
{
public:
    EtatChiffrement() = default;
    explicit EtatChiffrement(const QByteArray &cle);
    ~EtatChiffrement();
    EtatChiffrement(EtatChiffrement &&autre) noexcept;
    EtatChiffrement &operator=(EtatChiffrement &&autre) noexcept;

    bool aUneCle() const { return mAUneCle; }
    QByteArray chiffrer(quint64 nonce, const QByteArray &donneesAssociees, const QByteArray &texte) const;
    std::optional<QByteArray> dechiffrer(quint64 nonce, const QByteArray &donneesAssociees, const QByteArray &chiffre) const;

private:
    std::array<unsigned char, longueurCle> mCle{};
    bool mAUneCle = false;
};

class PoigneeDeMainKK
{
public:
    // ephemere: for the published vectors only; a real exchange draws a new one.
    PoigneeDeMainKK(bool initiateur, const QByteArray &prologue, const PaireDeCles &statique, const QByteArray &statiqueDistante,
                    std::optional<PaireDeCles> ephemere = std::nullopt);
    ~PoigneeDeMainKK();
    PoigneeDeMainKK(const PoigneeDeMainKK &) = delete;
    PoigneeDeMainKK &operator=(const PoigneeDeMainKK &) = delete;

    // The initiator's first message, then the responder's answer; nothing on a failure
    // (a DH of a low-order point, a message out of turn).
    std::optional<QByteArray> ecrire(const QByteArray &charge = {});
    // The payload; nothing when the message does not authenticate.
    std::optional<QByteArray> lire(const QByteArray &message);
    bool terminee() const { return mEtape == 2; }
    // Once terminee: what this side sends with, and what it receives with.
    EtatChiffrement envoi();
    EtatChiffrement reception();
    QByteArray empreinteTranscript() const { return QByteArray(reinterpret_cast<const char *>(mH.data()), longueurCle); }

private:
    using Bloc = std::array<unsigned char, longueurCle>;
    void melangerHash(const QByteArray &donnees);
    bool melangerCle(const QByteArray &secretDH);
    std::optional<QByteArray> dh(const QByteArray &privee, const QByteArray &publique) const;
    QByteArray chiffrerEtHacher(const QByteArray &texte);
    std::optional<QByteArray> dechiffrerEtHacher(const QByteArray &chiffre);
    void separer();
    bool ecritAcetteEtape() const { return mInitiateur == (mEtape == 0); }

    bool mInitiateur;
    PaireDeCles mStatique;
    QByteArray mStatiqueDistante;
    std::optional<PaireDeCles> mEphemere;
    QByteArray mEphemereDistante;
    Bloc mCk{};
    Bloc mH{};
    EtatChiffrement mChiffre;
    quint64 mNonce = 0;
    int mEtape = 0; // messages done; -1 once one failed
    EtatChiffrement mVersResponsable, mVersInitiateur;
};

// Two keys of HMAC-SHA-256, as the framework derives them.
std::pair<QByteArray, QByteArray> hkdf(const QByteArray &cleDeChainage, const QByteArray &entree);
}
