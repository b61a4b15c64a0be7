#include "link/shared/TramesEtendues.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>

namespace TramesEtendues {

QByteArray crc32(const QByteArray &octets)
{
    const uLong crc = ::crc32(::crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef *>(octets.constData()), uInt(octets.size()));
    return QByteArray::number(quint32(crc), 16).rightJustified(8, '0').toUpper();
}

QByteArray sceller(const char *motCle, const QByteArray &corps, bool crc)
{
    return crc ? motCle + crc32(corps) + corps : motCle + corps;
}

std::optional<QByteArray> ouvrir(const QByteArray &texte, const char *motCle, bool crc)
{
    const qsizetype n = qstrlen(motCle);
    if (!crc)
        return texte.startsWith(motCle) ? std::optional(texte.mid(n)) : std::nullopt;
    if (!texte.startsWith(motCle) || texte.size() < n + 8)
        return std::nullopt;
    QByteArray corps = texte.mid(n + 8);
    if (crc32(corps) != texte.mid(n, 8))
        return std::nullopt;
    return corps;
}

QByteArray reponseAuTest(const QByteArray &rang, bool memoire)
{
    QByteArray reponse = "OUI" + QByteArray(Capacites) + QByteArray::number(partieMax);
    if (memoire)
        reponse += Memoire;
    if (!rang.isEmpty())
        reponse += Rang + rang;
    return reponse;
}

std::optional<qint32> lireCapacites(const QByteArray &reponse)
{
    const QByteArray entete = "OUI" + QByteArray(Capacites);
    if (!reponse.startsWith(entete))
        return std::nullopt;
    // Fields a later version adds go behind a blank.
    const QByteArray champs = reponse.mid(entete.size());
    const qsizetype blanc = champs.indexOf(' ');
    const auto p = nombre(blanc < 0 ? champs : champs.left(blanc), partieMax);
    if (!p || *p < 64)
        return std::nullopt;
    return qint32(*p);
}

bool lireMemoire(const QByteArray &reponse)
{
    return lireCapacites(reponse) && (reponse + ' ').contains(QByteArray(Memoire) + ' ');
}

std::optional<QByteArray> lireRang(const QByteArray &reponse)
{
    if (!lireCapacites(reponse))
        return std::nullopt;
    const qsizetype debut = reponse.indexOf(Rang);
    if (debut < 0)
        return std::nullopt;
    const QByteArray rang = reponse.mid(debut + qsizetype(sizeof(Rang)) - 1, longueurRang);
    const bool valide = rang.size() == longueurRang && (rang[0] == '0' || rang[0] == '1')
        && std::all_of(rang.begin() + 1, rang.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
    return valide ? std::optional(rang.toUpper()) : std::nullopt;
}

std::optional<qint64> nombre(const QByteArray &texte, qint64 max)
{
    if (texte.isEmpty() || texte.size() > 18 || !std::all_of(texte.begin(), texte.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    const qint64 n = texte.toLongLong();
    return n <= max ? std::optional(n) : std::nullopt;
}

QByteArray offre(const Annonce &o, bool crc)
{
    return sceller(Offre, QByteArray::number(o.taille) + ' ' + o.sha256 + ' ' + o.nom, crc);
}

namespace {
bool estHexadecimal(const QByteArray &t, qsizetype longueur)
{
    return t.size() == longueur && std::all_of(t.begin(), t.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}
bool estSha256(const QByteArray &t)
{
    return estHexadecimal(t, 64);
}
}

QByteArray offreCodee(const Annonce &charge, const Codage &codage, bool crc, const QByteArray *contenu)
{
    QList<QByteArray> debuts;
    for (const QByteArray &r : codage.references)
        debuts.append(r.left(longueurReference));
    const QByteArray references = debuts.isEmpty() ? QByteArray("-") : debuts.join(',');
    const QByteArray corps = QByteArray::number(charge.taille) + ' ' + (contenu ? QByteArray("-") : charge.sha256) + ' '
        + MethodeCodage::nom(codage.methode) + ' ' + references + ' ' + QByteArray::number(codage.tailleFichier) + ' ' + codage.shaFichier
        + ' ' + charge.nom;
    return sceller(OffreCodee, contenu ? corps + '\0' + *contenu : corps, crc);
}

std::optional<OffreLue> lireOffreCodee(const QByteArray &texte, bool crc)
{
    const auto corps = ouvrir(texte, OffreCodee, crc);
    if (!corps)
        return std::nullopt;
    const QList<QByteArray> champs = corps->split(' ');
    if (champs.size() < 7)
        return std::nullopt;
    OffreLue o;
    const auto taille = nombre(champs[0], qint64(1) << 40);
    const auto tailleFichier = nombre(champs[4], qint64(1) << 40);
    const auto methode = MethodeCodage::lire(champs[2]);
    o.charge.sha256 = champs[1];
    o.codage.shaFichier = champs[5];
    // The name is the rest, blanks included, up to the content when it came along.
    o.charge.nom = corps->mid(champs[0].size() + champs[1].size() + champs[2].size() + champs[3].size() + champs[4].size()
                              + champs[5].size() + 6);
    if (const qsizetype nul = o.charge.nom.indexOf('\0'); nul >= 0) {
        o.contenu = o.charge.nom.mid(nul + 1);
        o.charge.nom.truncate(nul);
    }
    if (champs[3] != "-")
        o.codage.references = champs[3].split(',');
    const bool referencesLues = std::all_of(o.codage.references.begin(), o.codage.references.end(),
                                            [](const QByteArray &r) { return estHexadecimal(r, longueurReference); })
        && o.codage.references.size() <= referencesMax && methode
        && (MethodeCodage::contreReferences(*methode) ? o.codage.references.size() >= (*methode == MethodeCodage::Methode::Tables ? 2 : 1)
                                                      : o.codage.references.isEmpty());
    const bool charge = o.contenu ? o.charge.sha256 == "-" && taille && o.contenu->size() == *taille : estSha256(o.charge.sha256);
    if (!taille || !tailleFichier || !methode || !charge || !estSha256(o.codage.shaFichier) || !referencesLues || o.charge.nom.isEmpty()
        || o.charge.nom.size() > 255)
        return std::nullopt;
    o.charge.taille = *taille;
    o.codage.tailleFichier = *tailleFichier;
    o.codage.methode = *methode;
    return o;
}

std::optional<Annonce> lireOffre(const QByteArray &texte, bool crc)
{
    const auto corps = ouvrir(texte, Offre, crc);
    if (!corps)
        return std::nullopt;
    const qsizetype blanc = corps->indexOf(' ');
    const auto taille = nombre(corps->left(blanc), qint64(1) << 40);
    Annonce o;
    o.sha256 = corps->mid(blanc + 1, 64);
    o.nom = corps->mid(blanc + 1 + 64 + 1);
    const bool hex = std::all_of(o.sha256.begin(), o.sha256.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
    if (blanc <= 0 || !taille || o.sha256.size() != 64 || !hex || corps->mid(blanc + 65, 1) != " " || o.nom.isEmpty()
        || o.nom.size() > 255)
        return std::nullopt;
    o.taille = *taille;
    return o;
}

QByteArray donnees(qint64 position, const QByteArray &tranche, bool crc)
{
    if (!crc) {
        QByteArray octets(5, Qt::Uninitialized);
        for (int i = 0; i < 5; ++i)
            octets[i] = char(position >> (8 * (4 - i)));
        return Donnees + octets + tranche;
    }
    return sceller(Donnees, QByteArray::number(position) + ':' + tranche, crc);
}

std::optional<Tranche> lireDonnees(const QByteArray &texte, bool crc)
{
    const auto corps = ouvrir(texte, Donnees, crc);
    if (!corps || (!crc && corps->size() < 5))
        return std::nullopt;
    if (!crc) {
        qint64 position = 0;
        for (int i = 0; i < 5; ++i)
            position = (position << 8) | uchar(corps->at(i));
        return Tranche{position, corps->mid(5)};
    }
    const qsizetype deuxPoints = corps->indexOf(':');
    const auto position = nombre(corps->left(deuxPoints), qint64(1) << 40);
    if (deuxPoints <= 0 || !position)
        return std::nullopt;
    return Tranche{*position, corps->mid(deuxPoints + 1)};
}
}
