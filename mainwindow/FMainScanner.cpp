// The outgoing-folder scanner: every file dropped into the outgoing folder is sent, then
// deleted, and listed.
#include "FMain.h"

#include "CInterlocuteur.h"
#include "MGlobal.h"
#include "Minuterie.h"
#include "Plateforme.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
const QString attendreUnPeu = QStringLiteral("Attendre un petit peu");
}

void FMain::setCocheSynchro(int valeur)
{
    if (valeur == mCocheSynchro)
        return;
    mCocheSynchro = valeur;
    CocheSynchro_Click();
}

void FMain::CocheSynchro_Click()
{
    mClock->setEnabled(false);
    mIcone = mCocheSynchro == 1 ? 1 : 0;
    mClock->setTag(attendreUnPeu);
    mClock->setInterval(4000 + (mPoste && mPoste->PosteAppellant ? 5000 : 0));
    mClock->setEnabled(mCocheSynchro == 1);
    rafraichir();
}

void FMain::Clock_Timer()
{
    if (!mClock->Tag().isEmpty()) {
        mClock->setTag(QString());
        mClock->setInterval(3000);
        return;
    }
    mClock->setEnabled(false);
    const auto vivant = mVivant;
    balayer();
    if (*vivant && !mbTermine)
        mClock->setEnabled(mCocheSynchro == 1);
}

FMain::Apercu FMain::apercu(const QString &chemin)
{
    const QFileInfo info(chemin);
    return {info.size(), info.lastModified()};
}

void FMain::balayer()
{
    if (!mPoste)
        return;
    const QString dossier = mPoste->CheminFichiersAEnvoyer;
    QStringList colFichiers;
    for (const QString &nom : QDir(dossier).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted))
        colFichiers << dossier + QLatin1Char('/') + nom;

    // A file still being written (or seen for the first time) waits for the next scan.
    QHash<QString, Apercu> apercus;
    for (const QString &chemin : std::as_const(colFichiers))
        apercus.insert(chemin, apercu(chemin));
    const QHash<QString, Apercu> precedents = std::exchange(mApercus, apercus);

    const auto vivant = mVivant;
    for (const QString &chemin : std::as_const(colFichiers)) {
        if (mCocheSynchro == 0 || mbTermine)
            break;
        if (QFileInfo(chemin.left(chemin.size() - 3) + QStringLiteral("Log")).isFile())
            continue;
        if (!precedents.contains(chemin) || precedents.value(chemin) != apercus.value(chemin))
            continue;
        const bool continuer = envoyer(chemin);
        if (!*vivant || !continuer)
            return;
    }
}

bool FMain::envoyer(const QString &chemin)
{
    const auto vivant = mVivant;
    const QString nom = QFileInfo(chemin).fileName();
    const Apercu avant = apercu(chemin);
    QByteArray contenu;
    if (journal()) {
        QFile fichier(chemin);
        if (fichier.open(QIODevice::ReadOnly))
            contenu = fichier.readAll();
    }
    const quint32 debut = mContexte.env.plateforme.tickMs();
    const bool envoye = mPoste->EnvoyerFichier(chemin);
    const quint32 duree = mContexte.env.plateforme.ecouleDepuis(debut);
    if (!*vivant || !mPoste)
        return false;
    retirerProgression(mListeEmissions, QStringLiteral("Emission "));
    if (envoye) {
        const QString misDeCote = mPoste->FichierMisDeCote();
        if (!misDeCote.isEmpty()) {
            ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ERREUR : ") + misDeCote);
            noter(QStringLiteral("REFUS"), chemin + QStringLiteral(" mis de côté sous ") + misDeCote);
            return true;
        }
        // Rewritten while it was on its way: what left is not what the folder holds now.
        if (QFileInfo::exists(chemin) && apercu(chemin) != avant)
            Poste_Information(QStringLiteral("%1 a changé pendant son envoi : il est gardé et repartira.").arg(chemin));
        else
            QFile::remove(chemin);
        ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ") + nom);
        mDernierEnvoi = nom + QStringLiteral(" le ") + dateHeure();
        noter(QStringLiteral("ENVOI"), empreinte(chemin, contenu, duree));
        return true;
    }
    ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ERREUR : ") + chemin);
    noter(QStringLiteral("ECHEC"), chemin + QStringLiteral(" n'est pas parti"));
    if (!mPoste->TesterConnexion(false)) {
        if (!*vivant || mbTermine)
            return false;
        setCocheSynchro(0);
        setCocheConnecter(0);
        if (!*vivant)
            return false;
        MGlobal::Attendre(mContexte.env.plateforme, 1000);
        if (*vivant && mPoste && !mbTermine)
            mPoste->Connecter();
    }
    return false;
}
