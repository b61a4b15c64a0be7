#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <algorithm>

// What the journal says of a file that crossed the line: its size and SHA-256.
struct ContenuFichier
{
    qint64 taille = 0;
    QByteArray sha256;

    static ContenuFichier de(const QString &chemin)
    {
        // Read as it is hashed: a file of any size costs a buffer, not its size.
        QFile fichier(chemin);
        QCryptographicHash sha(QCryptographicHash::Sha256);
        if (!fichier.open(QIODevice::ReadOnly) || !sha.addData(&fichier))
            return {0, QCryptographicHash::hash({}, QCryptographicHash::Sha256)};
        return {fichier.size(), sha.result()};
    }

    // "name, size, duration, effective rate, SHA-256".
    QString empreinte(const QString &nom, quint32 dureeMs) const
    {
        const double secondes = std::max(1u, dureeMs) / 1000.0;
        return QStringLiteral("%1, %2 octets, %3 s, %4 octets/s, SHA-256 %5")
            .arg(nom)
            .arg(taille)
            .arg(secondes, 0, 'f', 3)
            .arg(qint64(double(taille) / secondes))
            .arg(QString::fromLatin1(sha256.toHex()));
    }
};
