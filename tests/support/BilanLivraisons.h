#pragma once

#include <QByteArray>
#include <QList>
#include <QMultiHash>
#include <QString>

#include <random>

// The files of an endurance run: what went into an outgoing folder, and what the other
// station's incoming folder ends up holding.
struct Envoi
{
    QString nom; // as it arrives: the receiver writes names in capitals
    QByteArray contenu;
};

// Mostly small files, some of many parts; half of them text that compresses.
QByteArray contenuAuHasard(std::mt19937 &alea);

// What an incoming folder holds, by the name the file was sent under: a second copy lands
// under a stamped name ("ddmmyy hhnnss NAME").
QMultiHash<QString, QByteArray> arrivees(const QString &dossier);

struct Bilan
{
    int livres = 0, perdus = 0, abimes = 0, doubles = 0, enAttente = 0;
    int petitsAbimes = 0; // sent uncompressed, with nothing a receiver could check (name included)
    qint64 octetsLivres = 0;
    QString texte() const;
};

Bilan bilan(const QList<Envoi> &envois, const QMultiHash<QString, QByteArray> &recus, const QString &sortie);
