#pragma once

#include "platform/Disque.h"

// The system's own calls: fsync, and renameat2 without replacing.
class DisqueLocal : public Disque
{
public:
    bool synchroniser(const QString &chemin, QString &erreur) override;
    bool synchroniserDossier(const QString &dossier, QString &erreur) override;
    Renommage renommer(const QString &source, const QString &cible, QString &erreur) override;
};
