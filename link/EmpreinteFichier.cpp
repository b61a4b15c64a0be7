#include "link/EmpreinteFichier.h"

#include <QCryptographicHash>

EmpreinteFichier::Issue EmpreinteFichier::calculer(QIODevice &lu, const std::function<bool()> &ceder, QByteArray &sha256)
{
    QCryptographicHash sha(QCryptographicHash::Sha256);
    while (!lu.atEnd()) {
        const QByteArray piece = lu.read(4 << 20);
        if (piece.isEmpty())
            return Issue::Illisible;
        sha.addData(piece);
        if (ceder && !ceder())
            return Issue::Arretee;
    }
    sha256 = sha.result().toHex();
    return Issue::Faite;
}
