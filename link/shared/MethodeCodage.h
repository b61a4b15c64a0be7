#pragma once

#include <QByteArray>
#include <QStringList>
#include <QtGlobal>

#include <optional>
#include <utility>

// How a file crosses between two of our stations that keep a memory of what they exchanged:
// alone through a compressor, or as a difference against files both already hold. Both ends
// must cut and window the same way, so the numbers here are part of the line's language.
namespace MethodeCodage {

// Tables: a Difference whose first reference holds entropy tables trained on earlier files of
// the kind (a zstd dictionary's header), the others its content; small files of one shape then
// spend none of their bytes describing how they are coded.
enum class Methode { Brut, Zstd, Xz, Bzip2, Difference, Tables };
bool contreReferences(Methode methode);
QByteArray nom(Methode methode);
std::optional<Methode> lire(const QByteArray &nom);

// Against a reference, the file goes in frames of this many bytes, each made against the
// reference bytes around the same place: memory stays bounded whatever the sizes.
inline constexpr qint64 morceau = qint64(8) << 20;
inline constexpr qint64 marge = qint64(4) << 20;
// The reference bytes frame i is made against.
std::pair<qint64, qint64> fenetre(qint64 i, qint64 tailleReference);
// A frame's compressed size is bounded: a larger one is damage.
qint64 trameMax();
// Entropy tables are a few hundred bytes: larger ones are not ours.
inline constexpr qint64 tablesMax = 16 * 1024;
// xz keeps a dictionary the size of the file: beyond this, its memory is not worth it.
inline constexpr qint64 xzMax = qint64(4) << 20;

// Bytes [debut, fin) of the files laid end to end; nothing when one cannot be read.
std::optional<QByteArray> lireSuite(const QStringList &fichiers, qint64 debut, qint64 fin);
qint64 tailleSuite(const QStringList &fichiers);
// For Tables: the first reference read into tables and taken off the list; false when it
// cannot be read or is too large to be ours.
bool lireTables(QStringList &references, QByteArray &tables);
}
