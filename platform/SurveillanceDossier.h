#pragma once

#include "platform/Notification.h"
#include "platform/Raison.h"

#include <QSet>
#include <QString>

// Watches one folder for files that change. Production: inotify on Linux, which also tells
// when a writer closed a file or a file was moved in; elsewhere Qt's folder watcher, which only
// tells that something changed. The simulated side is driven by the test.
class SurveillanceDossier
{
public:
    virtual ~SurveillanceDossier() = default;

    // Watches that folder from now on, the previous one no more.
    virtual bool surveiller(const QString &dossier, QString *raison) = 0;
    // False once the folder went away (deleted, moved): surveiller() again when it is back.
    virtual bool surveille() const = 0;
    // Whether Changement says "complet" when a writer closes a file or a file is moved in.
    virtual bool signaleLesFermetures() const = 0;

    // The names of the watched folder's files that a process holds open for writing, among
    // the processes this one may look at.
    virtual QSet<QString> ouvertsEnEcriture() const = 0;

    // The file's name, or "" when the system lost track of which; complet: closed after
    // writing or moved in whole. Raised from the event loop.
    Notification<QString, bool> Changement;
};
