#include "link/shared/Encodeur.h"

#include "platform/Disque.h"

#include <bzlib.h>
#include <lzma.h>
#include <zdict.h>
#include <zstd.h>

#include <algorithm>
#include <bit>

namespace M = MethodeCodage;

namespace {
// Input taken per step: at the slowest settings, well under half a second of work.
constexpr qint64 pas = 64 * 1024;

int niveauDifference(qint64 octets)
{
    // The strongest level while its tables stay small and a frame takes a fraction of a second.
    // Measured here on files that differ everywhere: level 19 over 1.5 MiB took 0.6 s, over
    // 768 KiB under 0.3 s; level 12 over 6 MiB, 0.22 s.
    return octets <= (qint64(768) << 10) ? 19 : octets <= (qint64(6) << 20) ? 12 : 6;
}
}

// One of the streaming compressors, as its own library drives it.
struct Encodeur::Moteur
{
    ZSTD_CCtx *zstd = nullptr;
    lzma_stream xz = LZMA_STREAM_INIT;
    bool xzOuvert = false;
    bz_stream bz{};
    bool bzOuvert = false;
    ~Moteur()
    {
        ZSTD_freeCCtx(zstd);
        if (xzOuvert)
            lzma_end(&xz);
        if (bzOuvert)
            BZ2_bzCompressEnd(&bz);
    }
};

Encodeur::Encodeur(M::Methode methode, const QString &source, const QString &cible, const QStringList &references, bool fort)
    : mMethode(methode), mSource(source), mReferences(references), mMoteur(std::make_unique<Moteur>())
{
    QString erreur;
    QFile::remove(cible);
    if (!mSource.open(QIODevice::ReadOnly)) {
        echouer(mSource.errorString());
        return;
    }
    if (!Disque::ouvrirSansLien(mCible, cible, QIODevice::WriteOnly | QIODevice::Truncate, erreur)) {
        echouer(erreur);
        return;
    }
    const qint64 taille = mSource.size();
    Moteur &m = *mMoteur;
    switch (methode) {
    case M::Methode::Brut:
        break;
    case M::Methode::Tables:
        if (!M::lireTables(mReferences, mTables)) {
            echouer(QStringLiteral("tables illisibles"));
            return;
        }
        [[fallthrough]];
    case M::Methode::Difference:
        mTailleReference = M::tailleSuite(mReferences);
        m.zstd = ZSTD_createCCtx();
        break;
    case M::Methode::Zstd:
        m.zstd = ZSTD_createCCtx();
        // Beyond a few mebibytes the strongest level's tables would cost more memory than the file gains.
        ZSTD_CCtx_setParameter(m.zstd, ZSTD_c_compressionLevel, !fort ? 6 : taille <= M::morceau ? 19 : 9);
        // The offer says the size already.
        ZSTD_CCtx_setParameter(m.zstd, ZSTD_c_contentSizeFlag, 0);
        ZSTD_CCtx_setPledgedSrcSize(m.zstd, quint64(taille));
        break;
    case M::Methode::Xz: {
        lzma_options_lzma options;
        lzma_lzma_preset(&options, 9 | LZMA_PRESET_EXTREME);
        options.dict_size = std::clamp<quint32>(std::bit_ceil(quint32(std::max<qint64>(taille, 4096))), 4096, quint32(M::xzMax));
        const lzma_filter filtres[] = {{LZMA_FILTER_LZMA2, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        m.xzOuvert = lzma_stream_encoder(&m.xz, filtres, LZMA_CHECK_CRC32) == LZMA_OK;
        if (!m.xzOuvert)
            echouer(QStringLiteral("xz"));
        break;
    }
    case M::Methode::Bzip2:
        m.bzOuvert = BZ2_bzCompressInit(&m.bz, 9, 0, 0) == BZ_OK;
        if (!m.bzOuvert)
            echouer(QStringLiteral("bzip2"));
        break;
    }
}

Encodeur::~Encodeur() = default;

bool Encodeur::echouer(const QString &erreur)
{
    mErreur = erreur;
    mFini = true;
    return false;
}

bool Encodeur::ecrire(const char *octets, qint64 n)
{
    if (n > 0 && mCible.write(octets, n) != n)
        return echouer(mCible.errorString());
    mEcrits += n;
    return true;
}

bool Encodeur::etape()
{
    if (mFini)
        return false;
    const bool suite = M::contreReferences(mMethode) ? etapeDifference() : etapeFlux();
    if (!suite && mErreur.isEmpty()) {
        mFini = true;
        if (!mCible.flush())
            echouer(mCible.errorString());
        mCible.close();
    }
    return suite && mErreur.isEmpty();
}

bool Encodeur::etapeFlux()
{
    const QByteArray entree = mSource.read(pas);
    const bool fin = mSource.atEnd();
    if (entree.isEmpty() && !fin)
        return echouer(mSource.errorString());
    Moteur &m = *mMoteur;
    QByteArray sortie(qsizetype(std::max<size_t>(ZSTD_CStreamOutSize(), 64 * 1024)), Qt::Uninitialized);
    switch (mMethode) {
    case M::Methode::Brut:
        if (!ecrire(entree.constData(), entree.size()))
            return false;
        break;
    case M::Methode::Zstd: {
        ZSTD_inBuffer in{entree.constData(), size_t(entree.size()), 0};
        for (;;) {
            ZSTD_outBuffer out{sortie.data(), size_t(sortie.size()), 0};
            const size_t reste = ZSTD_compressStream2(m.zstd, &out, &in, fin ? ZSTD_e_end : ZSTD_e_continue);
            if (ZSTD_isError(reste))
                return echouer(QString::fromLatin1(ZSTD_getErrorName(reste)));
            if (!ecrire(sortie.constData(), qint64(out.pos)))
                return false;
            if (fin ? reste == 0 : in.pos == in.size)
                break;
        }
        break;
    }
    case M::Methode::Xz: {
        m.xz.next_in = reinterpret_cast<const uint8_t *>(entree.constData());
        m.xz.avail_in = size_t(entree.size());
        for (;;) {
            m.xz.next_out = reinterpret_cast<uint8_t *>(sortie.data());
            m.xz.avail_out = size_t(sortie.size());
            const lzma_ret r = lzma_code(&m.xz, fin ? LZMA_FINISH : LZMA_RUN);
            if (r != LZMA_OK && r != LZMA_STREAM_END)
                return echouer(QStringLiteral("xz : erreur %1").arg(int(r)));
            if (!ecrire(sortie.constData(), sortie.size() - qint64(m.xz.avail_out)))
                return false;
            if (fin ? r == LZMA_STREAM_END : m.xz.avail_in == 0)
                break;
        }
        break;
    }
    case M::Methode::Bzip2: {
        m.bz.next_in = const_cast<char *>(entree.constData());
        m.bz.avail_in = unsigned(entree.size());
        for (;;) {
            m.bz.next_out = sortie.data();
            m.bz.avail_out = unsigned(sortie.size());
            const int r = BZ2_bzCompress(&m.bz, fin ? BZ_FINISH : BZ_RUN);
            if (r != BZ_RUN_OK && r != BZ_FINISH_OK && r != BZ_STREAM_END)
                return echouer(QStringLiteral("bzip2 : erreur %1").arg(r));
            if (!ecrire(sortie.constData(), sortie.size() - qint64(m.bz.avail_out)))
                return false;
            if (fin ? r == BZ_STREAM_END : m.bz.avail_in == 0)
                break;
        }
        break;
    }
    case M::Methode::Difference:
    case M::Methode::Tables:
        break;
    }
    return !fin;
}

bool Encodeur::etapeDifference()
{
    // A frame per piece of the file, each made against the reference bytes around it and,
    // but the last, preceded by its size (four bytes, most significant first).
    const qint64 taille = mSource.size();
    const qint64 debut = mMorceau * M::morceau;
    if (debut >= taille && !(taille == 0 && mMorceau == 0))
        return false;
    const QByteArray entree = mSource.read(std::min(M::morceau, taille - debut));
    if (entree.size() != std::min(M::morceau, taille - debut))
        return echouer(mSource.errorString());
    const auto [rd, rf] = M::fenetre(mMorceau, mTailleReference);
    const auto reference = M::lireSuite(mReferences, rd, rf);
    if (!reference)
        return echouer(QStringLiteral("référence illisible"));
    ZSTD_CCtx *c = mMoteur->zstd;
    ZSTD_CCtx_reset(c, ZSTD_reset_session_and_parameters);
    const qint64 ensemble = entree.size() + reference->size();
    ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, niveauDifference(ensemble));
    ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 0);
    ZSTD_CCtx_setParameter(c, ZSTD_c_dictIDFlag, 0);
    if (ensemble > (qint64(6) << 20)) {
        ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, std::max(20, int(std::bit_width(quint64(ensemble)))));
        ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1);
    }
    // With tables, the window is the content of a whole dictionary that begins with them.
    const QByteArray dictionnaire = mTables.isEmpty() ? QByteArray() : mTables + *reference;
    const size_t charge = mTables.isEmpty() ? ZSTD_CCtx_refPrefix(c, reference->constData(), size_t(reference->size()))
                                            : ZSTD_CCtx_loadDictionary(c, dictionnaire.constData(), size_t(dictionnaire.size()));
    if (ZSTD_isError(charge))
        return echouer(QString::fromLatin1(ZSTD_getErrorName(charge)));
    const bool derniere = debut + entree.size() >= taille;
    const int entete = derniere ? 0 : 4;
    QByteArray trame(qsizetype(ZSTD_compressBound(size_t(entree.size()))) + entete, Qt::Uninitialized);
    const size_t n = ZSTD_compress2(c, trame.data() + entete, size_t(trame.size() - entete), entree.constData(), size_t(entree.size()));
    if (ZSTD_isError(n))
        return echouer(QString::fromLatin1(ZSTD_getErrorName(n)));
    for (int i = 0; i < entete; ++i)
        trame[i] = char(n >> (8 * (3 - i)));
    ++mMorceau;
    return ecrire(trame.constData(), qint64(n) + entete) && !derniere;
}

QByteArray Encodeur::tables(const QStringList &contenu, const QStringList &echantillons)
{
    const auto lu = M::lireSuite(contenu, 0, M::tailleSuite(contenu));
    QByteArray suite;
    std::vector<size_t> tailles;
    for (const QString &f : echantillons) {
        const auto e = M::lireSuite({f}, 0, M::tailleSuite({f}));
        if (!e)
            return {};
        suite += *e;
        tailles.push_back(size_t(e->size()));
    }
    if (!lu || tailles.empty())
        return {};
    QByteArray dictionnaire(lu->size() + M::tablesMax, Qt::Uninitialized);
    ZDICT_params_t parametres{};
    parametres.compressionLevel = niveauDifference(lu->size() + suite.size());
    const size_t n = ZDICT_finalizeDictionary(dictionnaire.data(), size_t(dictionnaire.size()), lu->constData(), size_t(lu->size()),
                                              suite.constData(), tailles.data(), unsigned(tailles.size()), parametres);
    if (ZDICT_isError(n))
        return {};
    // The content is the references of each file, not the ones these were measured against.
    const size_t entete = ZDICT_getDictHeaderSize(dictionnaire.constData(), n);
    if (ZDICT_isError(entete) || qint64(entete) > M::tablesMax)
        return {};
    return dictionnaire.left(qsizetype(entete));
}
