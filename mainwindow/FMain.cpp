// The main window's logic, and what the outgoing-folder scanner reaches of it.
#include "mainwindow/FMain.h"

#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Disque.h"
#include "platform/Journal.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

#include <QFileInfo>

FMain::FMain(ContexteMain contexte, VueMain &vue)
    : mContexte(std::move(contexte)), mVue(vue), mTimeOutAppel(mContexte.env.plateforme.creerMinuterie()),
      mFermeture(std::make_unique<FFermeture>(mContexte.env.plateforme, mContexte.surveillance)),
      mScrutateur(*this, mContexte.env.plateforme, mContexte.surveillanceDossier)
{
    mTimeOutAppel->setInterval(30000);
    mContexte.env.disque.avis = [this](const QString &texte) { afficherInformation(texte, QStringLiteral("INFO")); };
}

FMain::~FMain()
{
    mVie.finir();
    mContexte.env.disque.avis = nullptr;
    mScrutateur.arreter();
    mPoste.reset(); // Terminer, when the shutdown did not run it
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
    mScrutateur.caseChangee(mCocheSynchro == EtatCase::Coche, mPoste && mPoste->Parametres.PosteAppellant);
    mIcone = mCocheSynchro == EtatCase::Coche ? 1 : 0;
    rafraichir();
}

void FMain::posteDistantReconnu()
{
    mScrutateur.posteDistantReconnu();
}

void FMain::receptionTerminee()
{
    mScrutateur.receptionTerminee();
}

void FMain::Clock_Timer()
{
    mScrutateur.tic();
}

void FMain::envoiTermine(const BilanEnvoi &b)
{
    const QString erreur = dateHeure() + QStringLiteral(" - ERREUR : ");
    if (b.issue != BilanEnvoi::Issue::Illisible)
        retirerProgression(mListeEmissions, QStringLiteral("Emission "));
    switch (b.issue) {
    case BilanEnvoi::Issue::Illisible:
        ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), erreur + b.chemin);
        noter(QStringLiteral("ECHEC"), b.chemin + QStringLiteral(" ne peut pas être lu"));
        Poste_Information(QStringLiteral("Le fichier %1 ne peut pas être lu (%2) : il reste dans le dossier, les autres partent.")
                              .arg(b.chemin, b.raison));
        return;
    case BilanEnvoi::Issue::MisDeCote:
        ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), erreur + b.misDeCote);
        noter(QStringLiteral("REFUS"), b.chemin + QStringLiteral(" mis de côté sous ") + b.misDeCote);
        return;
    case BilanEnvoi::Issue::Echec:
        ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), erreur + b.chemin);
        noter(QStringLiteral("ECHEC"),
              b.chemin
                  + QStringLiteral(" n'est pas parti (échec %1%2)")
                        .arg(b.echecs)
                        .arg(b.attenteMs ? QStringLiteral(", nouvel essai dans %1 s au plus tôt").arg(b.attenteMs / 1000)
                                         : QString()));
        return;
    case BilanEnvoi::Issue::Change:
        Poste_Information(QStringLiteral("%1 a changé pendant son envoi : il est gardé et repartira.").arg(b.chemin));
        break;
    case BilanEnvoi::Issue::Parti: break;
    }
    const QString nom = QFileInfo(b.chemin).fileName();
    ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ") + nom);
    mDernierEnvoi = {nom, mContexte.env.plateforme.maintenant()};
    if (b.contenu)
        noter(QStringLiteral("ENVOI"), b.contenu->empreinte(b.chemin, b.dureeMs));
}

void FMain::liaisonMuette()
{
    const auto vivant = mVie.temoin();
    if (mbTermine)
        return;
    setCocheSynchro(EtatCase::Decoche);
    setCocheConnecter(EtatCase::Decoche);
    if (!vivant)
        return;
    MGlobal::Attendre(mContexte.env.plateforme, 1000);
    if (vivant && mPoste && !mbTermine)
        mPoste->Connecter();
}
