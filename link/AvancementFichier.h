#pragma once

#include <QString>
#include <QtGlobal>

// How far a file has gone, in parts (the original transfer) or in kibibytes (the extension).
// Its text is what the progress lines show before their percentage.
struct AvancementFichier
{
    enum class Unite {
        Aucune,
        Parties,
        Kio
    };
    Unite unite = Unite::Aucune;
    qint64 fait = 0;
    qint64 total = 0;

    static AvancementFichier parties(qint64 partie, qint64 nombre) { return {Unite::Parties, partie, nombre}; }
    static AvancementFichier octets(qint64 tenus, qint64 taille) { return {Unite::Kio, tenus / 1024, (taille + 1023) / 1024}; }
    // Of a file that crosses coded: what is held of the coded bytes, told in the file's own.
    static AvancementFichier octets(qint64 tenus, qint64 taille, qint64 tailleFichier)
    {
        return octets(taille > 0 ? qint64(double(tenus) / double(taille) * double(tailleFichier)) : tenus, tailleFichier);
    }

    QString texte() const
    {
        switch (unite) {
        case Unite::Parties: return QStringLiteral("partie %1/%2 - ").arg(fait).arg(total);
        case Unite::Kio: return QStringLiteral("%1/%2 Ko - ").arg(fait).arg(total);
        case Unite::Aucune: break;
        }
        return {};
    }
    bool operator==(const AvancementFichier &) const = default;
};
