#pragma once

#include "link/shared/MethodeCodage.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <optional>

// The texts two of our stations exchange once each has recognised the other. Each one is a
// keyword, the CRC-32 of its body in eight hexadecimal digits, then the body: a damaged text
// is dropped, never acted upon. An older station never receives any of them.
namespace TramesEtendues {

// Offer of a file: size, SHA-256, name. Answered by Pret (the bytes held from 0 on), or
// Refus with a reason.
inline constexpr char Offre[] = "XFOFFRE";
inline constexpr char Pret[] = "XFPRET";
inline constexpr char Refus[] = "XFREFUS";
// A slice of the file at an offset; every sound one is acknowledged with the ranges held.
inline constexpr char Donnees[] = "XFD";
inline constexpr char Acquit[] = "XFA";
// All is acknowledged: check the whole file and store it, answered "OKFICHIER" or Refus.
inline constexpr char Fin[] = "XFFIN";

// What our stations add behind "OUI" when they answer a link test: a version and the longest
// slice of data they take in one frame.
inline constexpr char Capacites[] = " ETENDU1 P";
inline constexpr qint32 partieMax = 3968; // a frame stays under the driver's 4096 characters

// On a sealed link (two stations that pinned each other's key) the tag does the CRC's work:
// every function below then takes crc false, and the texts go without it.
QByteArray crc32(const QByteArray &octets);
QByteArray sceller(const char *motCle, const QByteArray &corps, bool crc = true);
// The body of a text that begins with motCle and whose CRC matches, else nothing.
std::optional<QByteArray> ouvrir(const QByteArray &texte, const char *motCle, bool crc = true);

// On a cable, where no call says who leads, our stations add their rank: "1" for a
// station set as calling, "0" otherwise, then a draw of 16 hexadecimal digits. The higher
// rank leads where one of the two must.
inline constexpr char Rang[] = " R";
inline constexpr qsizetype longueurRang = 17;

// Stations that keep a memory of the files they exchanged say so: files may then cross as
// their difference against one both hold (OffreCodee). The digit is the version of the coding:
// a station showing another one is taken for one that keeps none.
inline constexpr char Memoire[] = " D2";

// "OUI", the capabilities, the memory when kept, the rank if any.
QByteArray reponseAuTest(const QByteArray &rang = {}, bool memoire = false);
bool lireMemoire(const QByteArray &reponse);
// The other station's longest slice, when its answer to our link test shows the extension.
std::optional<qint32> lireCapacites(const QByteArray &reponse);
std::optional<QByteArray> lireRang(const QByteArray &reponse);

struct Annonce
{
    qint64 taille = 0;
    QByteArray sha256; // 64 hexadecimal digits, lower case
    QByteArray nom;    // as on the wire
};
QByteArray offre(const Annonce &o, bool crc = true);
std::optional<Annonce> lireOffre(const QByteArray &texte, bool crc = true);

// Offer of a file that crosses coded (alone through a compressor, or as a difference against
// files both hold): what crosses (size, SHA-256), how, against what, and the file itself (size,
// SHA-256, name). Answered PretCode with the bytes held, or "SANS" when a reference is not
// held: the file then comes without it. Slices, acknowledgements and the end as for Offre.
inline constexpr char OffreCodee[] = "XROFFRE";
inline constexpr char PretCode[] = "XRPRET";
inline constexpr char SansReference[] = "SANS";
inline constexpr int referencesMax = 16;
// A reference goes by the start of its SHA-256: on a slow line, ten of them whole would cost
// more than a small file's difference saves. Two copies that share it end in a SHA-256 that
// fails after decoding, and the file goes again without references.
inline constexpr qsizetype longueurReference = 8;
struct Codage
{
    MethodeCodage::Methode methode = MethodeCodage::Methode::Brut;
    QList<QByteArray> references; // SHA-256 of each (read from the line: its start), laid end to end in this order
    qint64 tailleFichier = 0;
    QByteArray shaFichier;
};
// A small coded file comes within its offer (contenu, behind a NUL after the name; the
// SHA-256 of what crosses is then "-"): answered "OKFICHIER", or Refus, whose body
// SansReference asks for the file without references.
inline constexpr qint64 dansLOffreMax = 3072;
QByteArray offreCodee(const Annonce &charge, const Codage &codage, bool crc = true, const QByteArray *contenu = nullptr);
struct OffreLue
{
    Annonce charge; // its name is the file's
    Codage codage;
    std::optional<QByteArray> contenu;
};
std::optional<OffreLue> lireOffreCodee(const QByteArray &texte, bool crc = true);

// Sealed, the position goes in five bytes, most significant first, with no colon.
QByteArray donnees(qint64 position, const QByteArray &tranche, bool crc = true);
struct Tranche
{
    qint64 position = 0;
    QByteArray tranche;
};
std::optional<Tranche> lireDonnees(const QByteArray &texte, bool crc = true);

// A number in decimal digits only, within 0 to max.
std::optional<qint64> nombre(const QByteArray &texte, qint64 max);
}
