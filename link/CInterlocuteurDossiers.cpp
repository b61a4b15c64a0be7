// The station's folders and free names, for the files it sends and receives.
#include "link/CInterlocuteur.h"

#include "platform/Dezipper.h"
#include "platform/Plateforme.h"

#include <QDir>
#include <QFileInfo>

QString CInterlocuteur::dossierTravail()
{
    return mContexte.dossierProgramme + QStringLiteral("/Travail/") + Dezipper::nomSur(msSectionConfig);
}

void CInterlocuteur::nettoyerDossierTravail()
{
    // Archives left by a station stopped in the middle of a send.
    QDir dossier(dossierTravail());
    for (const QString &nom : dossier.entryList(QDir::Files | QDir::Hidden))
        dossier.remove(nom);
}

bool CInterlocuteur::EnvoyerFichier(const QString &Fichier)
{
    return mEnvoi.envoyer(Fichier);
}

QString CInterlocuteur::horodatage() const
{
    return mContexte.env.plateforme.maintenant().toString(QStringLiteral("ddMMyy HHmmss"));
}

QString CInterlocuteur::nomHorodate(const QString &dossier, const QString &nom, const QString &suffixe)
{
    QString cible;
    for (int essai = 1;; ++essai) {
        // The stamp changes with the clock; after a few tries a counter settles it.
        const QString stamp = horodatage() + (essai > 8 ? QStringLiteral(" (%1)").arg(essai) : QString());
        cible = QDir(dossier).filePath(nom.isEmpty() ? stamp + suffixe : stamp + QLatin1Char(' ') + nom + suffixe);
        if (!nomPris(cible))
            return cible;
        mContexte.env.plateforme.pomper(250);
    }
}

bool CInterlocuteur::nomPris(const QString &chemin)
{
    // A dangling link takes its name too: writing there would create its target.
    const QFileInfo info(chemin);
    return info.exists() || info.isSymLink();
}

QString CInterlocuteur::nomLibre(const QString &dossier, const QString &nom)
{
    const QString cible = QDir(dossier).filePath(nom);
    return nomPris(cible) ? nomHorodate(dossier, nom) : cible;
}

QString CInterlocuteur::dossierReception()
{
    if (!CheminFichiersRecus.trimmed().isEmpty())
        return CheminFichiersRecus;
    // No incoming folder configured: the file must still land somewhere of ours.
    const QString dossier = mContexte.dossierProgramme + QStringLiteral("/Reçus");
    QDir().mkpath(dossier);
    return dossier;
}

void CInterlocuteur::FrmComm_ProgressRecept(qint32 Recu, qint32 Attendu)
{
    if (mContexte.env.plateforme.ecouleDepuis(mlDernierEchange) > 5000) {
        if (Recu < Attendu)
            armer(GenreSupervision::Reception);
        else
            armer(GenreSupervision::Surveillance, true);
    }
    ProgressRecept(Recu, Attendu);
}
