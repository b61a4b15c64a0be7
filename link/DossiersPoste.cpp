#include "link/DossiersPoste.h"

#include "platform/Dezipper.h"
#include "platform/Plateforme.h"
#include "serial/ParametresStation.h"

#include <QDir>
#include <QFileInfo>

DossiersPoste::DossiersPoste(Plateforme &plateforme, QString dossierProgramme, const ParametresStation &parametres,
                             QString section)
    : mPlateforme(plateforme), mDossierProgramme(std::move(dossierProgramme)), mReception(parametres.CheminFichiersRecus),
      mAEnvoyer(parametres.CheminFichiersAEnvoyer), mSection(std::move(section))
{}

QString DossiersPoste::reception() const
{
    if (!mReception.trimmed().isEmpty())
        return mReception;
    // No incoming folder configured: the file must still land somewhere of ours.
    const QString dossier = mDossierProgramme + QStringLiteral("/Reçus");
    QDir().mkpath(dossier);
    return dossier;
}

void DossiersPoste::creer() const
{
    for (const QString &chemin : {mReception, mAEnvoyer})
        if (!chemin.isEmpty() && !QFileInfo(chemin).isDir())
            QDir().mkdir(chemin);
}

QString DossiersPoste::travail() const
{
    return mDossierProgramme + QStringLiteral("/Travail/") + Dezipper::nomSur(mSection);
}

void DossiersPoste::nettoyerTravail() const
{
    QDir dossier(travail());
    for (const QString &nom : dossier.entryList(QDir::Files | QDir::Hidden))
        dossier.remove(nom);
}

QString DossiersPoste::nomHorodate(const QString &dossier, const QString &nom, const QString &suffixe) const
{
    // Nothing of this object is read after a wait: the station may have ended meanwhile.
    Plateforme &plateforme = mPlateforme;
    for (int essai = 1;; ++essai) {
        // The stamp changes with the clock; after a few tries a counter settles it.
        const QString stamp = plateforme.maintenant().toString(QStringLiteral("ddMMyy HHmmss"))
                              + (essai > 8 ? QStringLiteral(" (%1)").arg(essai) : QString());
        const QString cible = QDir(dossier).filePath(nom.isEmpty() ? stamp + suffixe : stamp + QLatin1Char(' ') + nom + suffixe);
        if (!nomPris(cible))
            return cible;
        plateforme.pomper(250);
    }
}

bool DossiersPoste::nomPris(const QString &chemin)
{
    // A dangling link takes its name too: writing there would create its target.
    const QFileInfo info(chemin);
    return info.exists() || info.isSymLink();
}

QString DossiersPoste::nomLibre(const QString &dossier, const QString &nom) const
{
    const QString cible = QDir(dossier).filePath(nom);
    return nomPris(cible) ? nomHorodate(dossier, nom) : cible;
}
