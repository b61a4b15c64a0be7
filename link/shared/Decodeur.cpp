#include "link/shared/Decodeur.h"

#include <QBuffer>
#include <QFile>

#include <bzlib.h>
#include <lzma.h>
#include <zstd.h>

#include <algorithm>

namespace M = MethodeCodage;

namespace {
constexpr qint64 pas = 256 * 1024;
// Our own xz frames hold dictionaries of a few mebibytes: a larger demand is not ours.
constexpr quint64 memoireXzMax = quint64(96) << 20;
}

struct Decodeur::Moteur
{
    ZSTD_DCtx *zstd = nullptr;
    lzma_stream xz = LZMA_STREAM_INIT;
    bool xzOuvert = false;
    bz_stream bz{};
    bool bzOuvert = false;
    ~Moteur()
    {
        ZSTD_freeDCtx(zstd);
        if (xzOuvert)
            lzma_end(&xz);
        if (bzOuvert)
            BZ2_bzDecompressEnd(&bz);
    }
};

Decodeur::Decodeur(M::Methode methode, const QString &source, qint64 tailleAttendue, Ecriture ecrire, const QStringList &references)
    : mMethode(methode), mSource(std::make_unique<QFile>(source)), mAttendus(tailleAttendue), mEcrire(std::move(ecrire)),
      mReferences(references), mMoteur(std::make_unique<Moteur>())
{
    ouvrir();
}

Decodeur::Decodeur(M::Methode methode, const QByteArray &contenu, qint64 tailleAttendue, Ecriture ecrire, const QStringList &references)
    : mMethode(methode), mSource(std::make_unique<QBuffer>()), mAttendus(tailleAttendue), mEcrire(std::move(ecrire)),
      mReferences(references), mMoteur(std::make_unique<Moteur>())
{
    static_cast<QBuffer &>(*mSource).setData(contenu);
    ouvrir();
}

void Decodeur::ouvrir()
{
    if (!mSource->open(QIODevice::ReadOnly)) {
        echouer(mSource->errorString());
        return;
    }
    Moteur &m = *mMoteur;
    switch (mMethode) {
    case M::Methode::Brut:
        break;
    case M::Methode::Tables:
        if (!M::lireTables(mReferences, mTables)) {
            echouer(QStringLiteral("tables illisibles"));
            return;
        }
        [[fallthrough]];
    case M::Methode::Zstd:
    case M::Methode::Difference:
        m.zstd = ZSTD_createDCtx();
        // Our frames never need a larger window: a larger demand is not ours.
        ZSTD_DCtx_setParameter(m.zstd, ZSTD_d_windowLogMax, 25);
        mTailleReference = M::tailleSuite(mReferences);
        break;
    case M::Methode::Xz:
        m.xzOuvert = lzma_stream_decoder(&m.xz, memoireXzMax, 0) == LZMA_OK;
        break;
    case M::Methode::Bzip2:
        m.bzOuvert = BZ2_bzDecompressInit(&m.bz, 0, 0) == BZ_OK;
        break;
    }
}

Decodeur::~Decodeur() = default;

bool Decodeur::echouer(const QString &erreur)
{
    mErreur = erreur;
    mFini = true;
    return false;
}

bool Decodeur::donner(const char *octets, qint64 n)
{
    if (n > mAttendus - mDonnes)
        return echouer(QStringLiteral("plus d'octets que le fichier annoncé"));
    if (n > 0 && !mEcrire(octets, n))
        return echouer(QStringLiteral("écriture impossible"));
    mDonnes += n;
    return true;
}

bool Decodeur::etape()
{
    if (mFini)
        return false;
    const bool suite = M::contreReferences(mMethode) ? etapeDifference() : etapeFlux();
    if (!suite && mErreur.isEmpty()) {
        mFini = true;
        if (mDonnes != mAttendus)
            echouer(QStringLiteral("fichier décodé incomplet"));
    }
    return suite && mErreur.isEmpty();
}

bool Decodeur::etapeFlux()
{
    const QByteArray entree = mSource->read(pas);
    const bool fin = mSource->atEnd();
    if (entree.isEmpty() && !fin)
        return echouer(mSource->errorString());
    Moteur &m = *mMoteur;
    QByteArray sortie(qsizetype(std::max<size_t>(ZSTD_DStreamOutSize(), 64 * 1024)), Qt::Uninitialized);
    switch (mMethode) {
    case M::Methode::Brut:
        if (!donner(entree.constData(), entree.size()))
            return false;
        break;
    case M::Methode::Zstd: {
        ZSTD_inBuffer in{entree.constData(), size_t(entree.size()), 0};
        // A full output may hold back more, even with all the input taken.
        for (bool plein = false; in.pos < in.size || plein;) {
            ZSTD_outBuffer out{sortie.data(), size_t(sortie.size()), 0};
            mResteZstd = ZSTD_decompressStream(m.zstd, &out, &in);
            if (ZSTD_isError(mResteZstd))
                return echouer(QString::fromLatin1(ZSTD_getErrorName(mResteZstd)));
            plein = out.pos == out.size;
            if (!donner(sortie.constData(), qint64(out.pos)))
                return false;
        }
        if (fin && mResteZstd != 0)
            return echouer(QStringLiteral("trame zstd coupée"));
        break;
    }
    case M::Methode::Xz: {
        if (!m.xzOuvert)
            return echouer(QStringLiteral("xz"));
        m.xz.next_in = reinterpret_cast<const uint8_t *>(entree.constData());
        m.xz.avail_in = size_t(entree.size());
        for (;;) {
            m.xz.next_out = reinterpret_cast<uint8_t *>(sortie.data());
            m.xz.avail_out = size_t(sortie.size());
            const lzma_ret r = lzma_code(&m.xz, fin ? LZMA_FINISH : LZMA_RUN);
            if (r != LZMA_OK && r != LZMA_STREAM_END)
                return echouer(QStringLiteral("xz : erreur %1").arg(int(r)));
            if (!donner(sortie.constData(), sortie.size() - qint64(m.xz.avail_out)))
                return false;
            if (r == LZMA_STREAM_END)
                break;
            if (m.xz.avail_in == 0 && m.xz.avail_out != 0) {
                if (fin)
                    return echouer(QStringLiteral("trame xz coupée"));
                break;
            }
        }
        break;
    }
    case M::Methode::Bzip2: {
        if (!m.bzOuvert)
            return echouer(QStringLiteral("bzip2"));
        m.bz.next_in = const_cast<char *>(entree.constData());
        m.bz.avail_in = unsigned(entree.size());
        for (;;) {
            m.bz.next_out = sortie.data();
            m.bz.avail_out = unsigned(sortie.size());
            const int r = BZ2_bzDecompress(&m.bz);
            if (r != BZ_OK && r != BZ_STREAM_END)
                return echouer(QStringLiteral("bzip2 : erreur %1").arg(r));
            if (!donner(sortie.constData(), sortie.size() - qint64(m.bz.avail_out)))
                return false;
            if (r == BZ_STREAM_END)
                break;
            if (m.bz.avail_in == 0 && m.bz.avail_out != 0) {
                if (fin)
                    return echouer(QStringLiteral("trame bzip2 coupée"));
                break;
            }
        }
        break;
    }
    case M::Methode::Difference:
    case M::Methode::Tables:
        break;
    }
    return !fin;
}

bool Decodeur::etapeDifference()
{
    const qint64 attendu = std::min(M::morceau, mAttendus - mMorceau * M::morceau);
    // The last frame runs to the end of what crossed; the others say their size.
    const bool derniere = mMorceau * M::morceau + attendu >= mAttendus;
    qint64 n = 0;
    if (!derniere) {
        const QByteArray longueur = mSource->read(4);
        if (longueur.size() != 4)
            return echouer(QStringLiteral("trame coupée"));
        for (const char c : longueur)
            n = (n << 8) | uchar(c);
    } else {
        n = mSource->bytesAvailable();
    }
    if (n > M::trameMax())
        return echouer(QStringLiteral("trame trop longue"));
    const QByteArray trame = mSource->read(n);
    if (trame.size() != n)
        return echouer(QStringLiteral("trame coupée"));
    const auto [rd, rf] = M::fenetre(mMorceau, mTailleReference);
    const auto reference = M::lireSuite(mReferences, rd, rf);
    if (!reference)
        return echouer(QStringLiteral("référence illisible"));
    QByteArray sortie(qsizetype(std::max<qint64>(attendu, 1)), Qt::Uninitialized);
    ZSTD_DCtx *d = mMoteur->zstd;
    ZSTD_DCtx_reset(d, ZSTD_reset_session_and_parameters);
    // With tables, the window is the content of a whole dictionary that begins with them.
    const QByteArray dictionnaire = mTables.isEmpty() ? QByteArray() : mTables + *reference;
    const size_t charge = mTables.isEmpty() ? ZSTD_DCtx_refPrefix(d, reference->constData(), size_t(reference->size()))
                                            : ZSTD_DCtx_loadDictionary(d, dictionnaire.constData(), size_t(dictionnaire.size()));
    if (ZSTD_isError(charge))
        return echouer(QString::fromLatin1(ZSTD_getErrorName(charge)));
    const size_t r = ZSTD_decompressDCtx(d, sortie.data(), size_t(attendu), trame.constData(), size_t(trame.size()));
    if (ZSTD_isError(r) || qint64(r) != attendu)
        return echouer(ZSTD_isError(r) ? QString::fromLatin1(ZSTD_getErrorName(r)) : QStringLiteral("trame de taille fausse"));
    if (!donner(sortie.constData(), attendu))
        return false;
    ++mMorceau;
    return !derniere;
}
