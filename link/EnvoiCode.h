#pragma once

#include "link/EnvoiFichier.h"
#include "link/shared/TramesEtendues.h"

#include <QString>

#include <functional>
#include <optional>

class CanalLiaison;
class EnvoiEtendu;
class MemoireFichiers;

// Sending a file to a station of ours that keeps a memory of the files exchanged, as it did:
// coded the way that puts the fewest bytes on the line, alone through the best compressor or
// as its difference against files both hold, then kept in the memory once acknowledged. The
// coding runs in steps, the line answered between them.
class EnvoiCode
{
public:
    EnvoiCode(CanalLiaison &canal, EnvoiEtendu &etendu) : mCanal(canal), mEtendu(etendu) {}

    EnvoiFichier::Issue envoyer(const QString &fichier, const std::function<bool()> &lignePerdue);

    // What the journal says of a file delivered: the bytes on the line, for how many, and how.
    static QString bilan(qint64 surLaLigne, qint64 taille, const QString &comment);
    static QString taillesLisible(qint64 octets);

private:
    struct Charge
    {
        QString chemin; // what crosses
        qint64 taille = 0;
        TramesEtendues::Codage codage;
        QString comment;
    };
    // The smallest of the ways tried, and the smallest without references (sent when the
    // other station lacks one); none when the engine went.
    struct Codages
    {
        Charge meilleur, seul;
    };
    std::optional<Codages> coder(const QString &fichier, const QStringList &references, const TramesEtendues::Codage &base,
                                 const QString &tables, const QByteArray &shaTables);
    // The tables of the file's kind both hold, made and sent first once enough files of the
    // kind are held; Livre when the file may go (with or without them).
    EnvoiFichier::Issue tablesDuGenre(MemoireFichiers &memoire, const QByteArray &nom, const QStringList &genre,
                                      const std::function<bool()> &lignePerdue, QByteArray &sha);
    QString decrireReferences(const MemoireFichiers &memoire, const QList<QByteArray> &references) const;

    CanalLiaison &mCanal;
    EnvoiEtendu &mEtendu;
};
