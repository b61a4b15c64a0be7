#include "platform/production/SurveillanceDossierQt.h"

#include <QDir>

SurveillanceDossierQt::SurveillanceDossierQt()
{
    QObject::connect(&mObservateur, &QFileSystemWatcher::directoryChanged, [this] { Changement(QString(), false); });
}

bool SurveillanceDossierQt::surveiller(const QString &dossier, QString *raison)
{
    if (const QStringList anciens = mObservateur.directories(); !anciens.isEmpty())
        mObservateur.removePaths(anciens);
    if (mObservateur.addPath(QDir(dossier).absolutePath()))
        return true;
    return refuser(raison, QStringLiteral("Le dossier %1 ne peut pas être surveillé : il est regardé toutes les 3 secondes.").arg(dossier));
}
