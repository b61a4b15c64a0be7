#include "link/shared/MethodeCodage.h"

#include <QFile>
#include <QFileInfo>

#include <zstd.h>

#include <algorithm>

namespace MethodeCodage {

namespace {
constexpr std::pair<Methode, const char *> noms[] = {
    {Methode::Brut, "brut"}, {Methode::Zstd, "zstd"}, {Methode::Xz, "xz"}, {Methode::Bzip2, "bzip2"}, {Methode::Difference, "diff"},
    {Methode::Tables, "tables"}};
}

QByteArray nom(Methode methode)
{
    for (const auto &[m, n] : noms)
        if (m == methode)
            return n;
    return {};
}

bool contreReferences(Methode methode)
{
    return methode == Methode::Difference || methode == Methode::Tables;
}

std::optional<Methode> lire(const QByteArray &texte)
{
    for (const auto &[m, n] : noms)
        if (texte == n)
            return m;
    return std::nullopt;
}

std::pair<qint64, qint64> fenetre(qint64 i, qint64 tailleReference)
{
    const qint64 debut = std::clamp<qint64>(i * morceau - marge, 0, tailleReference);
    return {debut, std::clamp<qint64>((i + 1) * morceau + marge, debut, tailleReference)};
}

qint64 trameMax()
{
    return qint64(ZSTD_compressBound(size_t(morceau)));
}

qint64 tailleSuite(const QStringList &fichiers)
{
    qint64 n = 0;
    for (const QString &f : fichiers)
        n += QFileInfo(f).size();
    return n;
}

std::optional<QByteArray> lireSuite(const QStringList &fichiers, qint64 debut, qint64 fin)
{
    QByteArray octets;
    octets.reserve(fin - debut);
    qint64 position = 0;
    for (const QString &f : fichiers) {
        QFile lu(f);
        if (!lu.open(QIODevice::ReadOnly))
            return std::nullopt;
        const qint64 taille = lu.size();
        const qint64 d = std::max(debut, position), e = std::min(fin, position + taille);
        if (d < e) {
            if (!lu.seek(d - position))
                return std::nullopt;
            const QByteArray lus = lu.read(e - d);
            if (lus.size() != e - d)
                return std::nullopt;
            octets += lus;
        }
        position += taille;
    }
    if (octets.size() != fin - debut)
        return std::nullopt;
    return octets;
}

bool lireTables(QStringList &references, QByteArray &tables)
{
    if (references.size() < 2)
        return false;
    QFile lu(references.takeFirst());
    if (!lu.open(QIODevice::ReadOnly) || lu.size() > tablesMax)
        return false;
    tables = lu.readAll();
    return tables.size() == lu.size() && !tables.isEmpty();
}
}
