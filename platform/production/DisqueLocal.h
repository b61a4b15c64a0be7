#pragma once

#include "platform/Disque.h"

// The system's own calls.
class DisqueLocal : public Disque
{
public:
    int ouvrir(const QString &chemin, int drapeaux) override;
    qint64 ecrireAuPlus(int fd, const char *donnees, qint64 taille, qint64 position) override;
    int synchroniser(int fd) override;
    int fermer(int fd) override;
    int renommerSansRemplacer(const QString &source, const QString &cible) override;
    int lier(const QString &source, const QString &cible) override;
    int renommer(const QString &source, const QString &cible) override;
    int supprimer(const QString &chemin) override;
};
