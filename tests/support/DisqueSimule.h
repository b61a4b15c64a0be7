#pragma once

#include "platform/production/DisqueLocal.h"

#include <QHash>
#include <QMap>

#include <sys/types.h>

// The real disk, and beside it what a power cut would leave: the content of each file as it
// was at its last sync (by inode, so that it follows a rename), and the names of each folder
// as they were at its last sync. Anything not synced is taken as lost.
class DisqueSimule : public DisqueLocal
{
public:
    bool synchroniser(const QString &chemin, QString &erreur) override;
    bool synchroniserDossier(const QString &dossier, QString &erreur) override;

    // The file at chemin would be there after a power cut now, with exactly this content.
    bool survivrait(const QString &chemin, const QByteArray &contenu) const;
    int synchronisations = 0;

private:
    QHash<ino_t, QByteArray> mContenus;
    QMap<QString, QHash<QString, ino_t>> mNoms;
};
