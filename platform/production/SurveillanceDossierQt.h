#pragma once

#include "platform/SurveillanceDossier.h"

#include <QFileSystemWatcher>

// Where inotify is missing: Qt's folder watcher says that the folder changed, never that a
// writer is done; files are then judged by how long they stay the same.
class SurveillanceDossierQt : public SurveillanceDossier
{
public:
    SurveillanceDossierQt();
    bool surveiller(const QString &dossier, QString *raison) override;
    bool surveille() const override { return !mObservateur.directories().isEmpty(); }
    bool signaleLesFermetures() const override { return false; }
    QSet<QString> ouvertsEnEcriture() const override { return {}; }

private:
    QFileSystemWatcher mObservateur;
};
