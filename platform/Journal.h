#pragma once

#include "platform/Notification.h"

#include <QFile>
#include <QString>

class Plateforme;

// A station's journal: an append-only text file, one line per event ("ISO date-time <tab>
// station <tab> kind <tab> text"), rotated at a size limit with a few older files kept. A
// failing write (a full disk) never stops the station: it is said once, and once more when
// writing works again.
class Journal
{
public:
    Journal(QString chemin, QString poste, Plateforme &plateforme, qint64 tailleMax = 5 * 1024 * 1024, int fichiers = 5);

    void noter(const QString &genre, const QString &texte);
    QString chemin() const { return mChemin; }

    // A write that starts failing, or works again: a French sentence for the user.
    Notification<QString> Avertissement;

private:
    void tourner();

    QString mChemin;
    QString mPoste;
    Plateforme &mPlateforme;
    qint64 mTailleMax;
    int mFichiers;
    QFile mFichier;
    bool mEnErreur = false;
    QString mErreurOuverture;
};
