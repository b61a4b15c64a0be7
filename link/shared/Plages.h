#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <optional>
#include <utility>
#include <vector>

// A set of byte ranges [debut, fin) of one file, kept merged and in order: what a receiver
// holds, and what its acknowledgements say.
class Plages
{
public:
    void ajouter(qint64 debut, qint64 fin);
    void vider() { mPlages.clear(); }
    bool contient(qint64 debut, qint64 fin) const;
    // Bytes held from 0 on without a hole.
    qint64 continuDepuisZero() const;
    // The first byte range at or after depuis that the set lacks, up to fin.
    std::optional<std::pair<qint64, qint64>> premierManque(qint64 depuis, qint64 fin) const;
    const std::vector<std::pair<qint64, qint64>> &plages() const { return mPlages; }

    // "0-4096,8192-12288": at most plagesMax ranges, the first ones.
    QByteArray texte(int plagesMax = 16) const;
    // Nothing for a text that is not one, or that reaches past taille.
    static std::optional<Plages> lire(const QByteArray &texte, qint64 taille);

private:
    std::vector<std::pair<qint64, qint64>> mPlages;
};
