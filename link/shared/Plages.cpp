#include "link/shared/Plages.h"

#include <QList>

#include <algorithm>

void Plages::ajouter(qint64 debut, qint64 fin)
{
    if (fin <= debut)
        return;
    auto it = std::lower_bound(mPlages.begin(), mPlages.end(), std::pair(debut, debut),
                               [](const auto &a, const auto &b) { return a.second < b.first; });
    // it: the first range ending at or after debut; every range it touches merges with it.
    auto finFusion = it;
    while (finFusion != mPlages.end() && finFusion->first <= fin) {
        debut = std::min(debut, finFusion->first);
        fin = std::max(fin, finFusion->second);
        ++finFusion;
    }
    it = mPlages.erase(it, finFusion);
    mPlages.insert(it, {debut, fin});
}

bool Plages::contient(qint64 debut, qint64 fin) const
{
    if (fin <= debut)
        return true;
    return std::any_of(mPlages.begin(), mPlages.end(), [&](const auto &p) { return p.first <= debut && fin <= p.second; });
}

qint64 Plages::continuDepuisZero() const
{
    return !mPlages.empty() && mPlages.front().first == 0 ? mPlages.front().second : 0;
}

std::optional<std::pair<qint64, qint64>> Plages::premierManque(qint64 depuis, qint64 fin) const
{
    for (const auto &[d, f] : mPlages) {
        if (f <= depuis)
            continue;
        if (d > depuis)
            return std::pair(depuis, std::min(d, fin));
        depuis = f;
        if (depuis >= fin)
            return std::nullopt;
    }
    return depuis < fin ? std::optional(std::pair(depuis, fin)) : std::nullopt;
}

QByteArray Plages::texte(int plagesMax) const
{
    QByteArray t;
    for (int i = 0; i < int(mPlages.size()) && i < plagesMax; ++i) {
        if (i > 0)
            t += ',';
        t += QByteArray::number(mPlages[i].first) + '-' + QByteArray::number(mPlages[i].second);
    }
    return t;
}

std::optional<Plages> Plages::lire(const QByteArray &texte, qint64 taille)
{
    Plages p;
    if (texte.isEmpty())
        return p;
    for (const QByteArray &morceau : texte.split(',')) {
        const qsizetype tiret = morceau.indexOf('-');
        bool okD = false, okF = false;
        const qint64 d = morceau.left(tiret).toLongLong(&okD);
        const qint64 f = morceau.mid(tiret + 1).toLongLong(&okF);
        if (tiret <= 0 || !okD || !okF || d < 0 || f < d || f > taille)
            return std::nullopt;
        p.ajouter(d, f);
    }
    return p;
}
