// The station's folders and free names, for the files it sends and receives.
#include "link/CInterlocuteur.h"

#include "platform/Dezipper.h"
#include "platform/Plateforme.h"

#include <QDir>
#include <QFileInfo>

bool CInterlocuteur::EnvoyerFichier(const QString &Fichier)
{
    return mEnvoi.envoyer(Fichier);
}

void CInterlocuteur::FrmComm_ProgressRecept(qint32 Recu, qint32 Attendu)
{
    mReception.progression(Recu, Attendu);
    ProgressRecept(Recu, Attendu);
}
