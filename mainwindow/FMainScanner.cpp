// The outgoing-folder scanner: every file dropped into the outgoing folder is sent, then
// deleted, and listed.
#include "mainwindow/FMain.h"
#include "platform/EtatCase.h"

#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"
#include "platform/SurveillanceDossier.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
constexpr int intervalleBalayage = 3000;
constexpr int intervalleLigneOccupee = 200;
// After a failed file, long enough for the other station to end its reception, see its own
// files twice and start sending: it waits 4 or 9 s, then scans every 3 s.
constexpr int intervalleApresEchec = 20'000;
// Between the end of a scan and one that a change brings forward: a burst of changes (a whole
// folder copied in) makes a few scans, not one per file.
constexpr qint64 ecartMinimalUs = 50'000;
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
    mContexte.env.plateforme.annuler(std::exchange(mBalayageAvance, 0));
    if (mCocheSynchro == EtatCase::Coche)
        veillerDossier();
    mIcone = mCocheSynchro == EtatCase::Coche ? 1 : 0;
    mbAttenteAvantBalayage = true;
    mClock->setInterval(4000 + (mPoste && mPoste->PosteAppellant ? 5000 : 0));
    mClock->setEnabled(mCocheSynchro == EtatCase::Coche);
    rafraichir();
}

void FMain::posteDistantReconnu()
{
    // On a modem call it is known about 3.5 s in. The called station scans at 7 s and keeps
    // the first turn; the caller follows a second after it instead of five.
    constexpr qint32 premierBalayageMs = 4500;
    if (!mbAttenteAvantBalayage || !mClock->Enabled())
        return;
    mbAttenteAvantBalayage = false;
    mClock->setInterval(premierBalayageMs);
}

void FMain::receptionTerminee()
{
    mTour.fichierRecu(mContexte.env.plateforme.maintenantUs());
    // Its turn: a station with a file waiting takes the line at once; one that only receives
    // keeps the usual wait.
    if (!mPoste || mCocheSynchro != EtatCase::Coche || !mClock->Enabled() || !mbAttenteAvantBalayage || !fichierEnAttente())
        return;
    mbAttenteAvantBalayage = false;
    mClock->setInterval(qint32(TourDeLigne::priseDeTourMs(liaison())));
}

TourDeLigne::Liaison FMain::liaison() const
{
    return {.etendue = mPoste->extensionActive(), .allerRetourMs = mPoste->allerRetourMs()};
}

bool FMain::fichierEnAttente() const
{
    const QString dossier = mPoste->CheminFichiersAEnvoyer;
    const QStringList noms = QDir(dossier).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    return std::any_of(noms.cbegin(), noms.cend(), [&](const QString &nom) { return !enAttenteDeReessai(dossier + QLatin1Char('/') + nom); });
}

void FMain::Clock_Timer()
{
    if (std::exchange(mbAttenteAvantBalayage, false)) {
        mClock->setInterval(intervalleBalayage);
        return;
    }
    balayerPuisRearmer();
}

void FMain::balayerPuisRearmer()
{
    // The box switched off and on during a send re-enables the clock: its tick waits.
    if (mbBalayageEnCours) {
        mbChangementPendantBalayage = true;
        return;
    }
    // A tick inside a command's wait or a received frame's handling: the send would find the
    // line taken. It comes back as soon as that is over.
    if (mPoste && mPoste->ligneOccupee()) {
        mClock->setInterval(intervalleLigneOccupee);
        return;
    }
    mClock->setEnabled(false);
    mContexte.env.plateforme.annuler(std::exchange(mBalayageAvance, 0));
    const auto vivant = mVie.temoin();
    mbLigneCedee = false;
    mbBalayageEnCours = true;
    mbChangementPendantBalayage = false;
    const quint32 revoir = balayer();
    if (!vivant)
        return;
    mbBalayageEnCours = false;
    mFinBalayageUs = mContexte.env.plateforme.maintenantUs();
    if (mbTermine)
        return;
    mClock->setInterval(mbLigneCedee ? intervalleApresEchec : intervalleBalayage);
    mClock->setEnabled(mCocheSynchro == EtatCase::Coche);
    // What changed during the scan waited for its end, not for the next pass.
    if (mbChangementPendantBalayage || revoir > 0)
        avancerBalayage(mbChangementPendantBalayage ? 0 : revoir);
}

void FMain::veillerDossier()
{
    if (!mPoste || !mContexte.surveillanceDossier)
        return;
    if (!mSurveillanceDossier) {
        mSurveillanceDossier = mContexte.surveillanceDossier();
        if (!mSurveillanceDossier)
            return;
        mSurveillanceDossier->Changement.connecter([this](const QString &nom, bool complet) { Dossier_Changement(nom, complet); });
    }
    const bool nouveau = mPoste->CheminFichiersAEnvoyer != mDossierSurveille;
    if (!nouveau && mSurveillanceDossier->surveille())
        return;
    // A folder that went and came back is watched again; why it cannot be is said once.
    mDossierSurveille = mPoste->CheminFichiersAEnvoyer;
    QString erreur;
    if (!mSurveillanceDossier->surveiller(mDossierSurveille, &erreur) && nouveau)
        Poste_Information(erreur);
}

void FMain::Dossier_Changement(const QString &nom, bool complet)
{
    if (complet && !nom.isEmpty())
        mComplets.signalerComplet(mDossierSurveille + QLatin1Char('/') + nom);
    avancerBalayage(0);
}

bool FMain::balayageRegulier() const
{
    // The guards of the pass still hold: none during a scan or, without the extension, a
    // reception (the box is off then), none in the wait after the box goes on, none while the
    // line is left to the other after a failure.
    return mCocheSynchro == EtatCase::Coche && !mbTermine && mClock->Enabled() && !mbAttenteAvantBalayage && !mbLigneCedee;
}

void FMain::avancerBalayage(quint32 dansMs)
{
    if (mbBalayageEnCours) {
        mbChangementPendantBalayage = true;
        return;
    }
    Plateforme &plateforme = mContexte.env.plateforme;
    const qint64 instant = std::max(plateforme.maintenantUs() + qint64(dansMs) * 1000, mFinBalayageUs + ecartMinimalUs);
    if (!balayageRegulier() || dansMs >= quint32(mClock->Interval()) || (mBalayageAvance && mInstantAvanceUs <= instant))
        return;
    plateforme.annuler(mBalayageAvance);
    mInstantAvanceUs = instant;
    mBalayageAvance = plateforme.planifierA(instant, [this, vivant = mVie.temoin()] {
        if (!vivant)
            return;
        mBalayageAvance = 0;
        if (balayageRegulier())
            balayerPuisRearmer();
    });
}

quint32 FMain::attenteApresEchecs(int nombre)
{
    // Tried again at the next scan behind the others, then after 30 s, 1, 2, 4 min... and
    // at least every 16 min: a file that keeps failing is never given up.
    if (nombre <= 1)
        return 0;
    return quint32(30'000) << std::min(nombre - 2, 5);
}

bool FMain::enAttenteDeReessai(const QString &chemin) const
{
    const auto echec = mEchecs.constFind(chemin);
    return echec != mEchecs.cend() && mContexte.env.plateforme.ecouleDepuis(echec->tick) < attenteApresEchecs(echec->nombre);
}

bool FMain::lisible(const QString &chemin)
{
    QFile fichier(chemin);
    if (fichier.open(QIODevice::ReadOnly)) {
        if (mEchecs.value(chemin).illisible)
            mEchecs.remove(chemin);
        return true;
    }
    EchecEnvoi &echec = mEchecs[chemin];
    echec.tick = mContexte.env.plateforme.tickMs();
    echec.nombre = std::max(echec.nombre, 2); // looked at again every 30 s, not every pass
    if (!echec.illisible) {
        echec.illisible = true;
        ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ERREUR : ") + chemin);
        noter(QStringLiteral("ECHEC"), chemin + QStringLiteral(" ne peut pas être lu"));
        Poste_Information(QStringLiteral("Le fichier %1 ne peut pas être lu (%2) : il reste dans le dossier, les autres partent.")
                              .arg(chemin, fichier.errorString()));
    }
    return false;
}

bool FMain::ordinaire(const QString &chemin)
{
    // A link would send whatever it points to (the configuration, anything this user reads),
    // and reading a pipe would never end.
    const QFileInfo info(chemin);
    if (!info.isSymLink() && info.isFile())
        return true;
    if (!mNonOrdinaires.contains(chemin))
        Poste_Information(QStringLiteral("%1 n'est pas un fichier ordinaire (%2) : il n'est pas envoyé et reste dans le dossier.")
                              .arg(chemin, info.isSymLink() ? QStringLiteral("lien symbolique") : QStringLiteral("fichier spécial")));
    return false;
}

quint32 FMain::balayer()
{
    if (!mPoste)
        return 0;
    veillerDossier();
    const QString dossier = mPoste->CheminFichiersAEnvoyer;
    QStringList colFichiers;
    QSet<QString> nonOrdinaires;
    for (const QString &nom : QDir(dossier).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted)) {
        const QString chemin = dossier + QLatin1Char('/') + nom;
        if (ordinaire(chemin))
            colFichiers << chemin;
        else
            nonOrdinaires.insert(chemin);
    }
    mNonOrdinaires = nonOrdinaires;

    QSet<QString> ouverts;
    if (mSurveillanceDossier && !colFichiers.isEmpty()) {
        for (const QString &nom : mSurveillanceDossier->ouvertsEnEcriture())
            ouverts.insert(dossier + QLatin1Char('/') + nom);
    }
    const FichiersComplets::Bilan complets = mComplets.examiner(colFichiers, ouverts, mContexte.env.plateforme.tickMs());
    for (auto it = mEchecs.begin(); it != mEchecs.end();)
        it = colFichiers.contains(it.key()) ? std::next(it) : mEchecs.erase(it);
    // Files that never failed first, then those that failed least.
    std::stable_sort(colFichiers.begin(), colFichiers.end(),
                     [&](const QString &x, const QString &y) { return mEchecs.value(x).nombre < mEchecs.value(y).nombre; });

    const auto vivant = mVie.temoin();
    qint64 debutEnvois = -1;
    for (const QString &chemin : std::as_const(colFichiers)) {
        // A pinned key: nothing leaves before the other station has proved it holds its half.
        if (mCocheSynchro == EtatCase::Decoche || mbTermine || !mPoste->liaisonAutorisee())
            break;
        if (QFileInfo(chemin.left(chemin.size() - 3) + QStringLiteral("Log")).isFile())
            continue;
        if (!complets.prets.contains(chemin) || enAttenteDeReessai(chemin) || !lisible(chemin))
            continue;
        // The other station's turn first, if it wants it: this one scans again after it.
        const qint64 maintenant = mContexte.env.plateforme.maintenantUs();
        if (const quint32 attente = mTour.attenteMs(maintenant, debutEnvois, liaison()))
            return attente;
        if (debutEnvois < 0)
            debutEnvois = maintenant;
        mTour.envoiCommence(maintenant);
        const bool continuer = envoyer(chemin);
        if (!vivant || !continuer)
            return 0;
    }
    return complets.revoirDansMs;
}

bool FMain::envoyer(const QString &chemin)
{
    const auto vivant = mVie.temoin();
    const QString nom = QFileInfo(chemin).fileName();
    const FichiersComplets::Apercu avant = FichiersComplets::apercu(chemin);
    const Contenu contenu = journal() ? contenuDe(chemin) : Contenu{0, {}};
    const quint32 debut = mContexte.env.plateforme.tickMs();
    const bool envoye = mPoste->EnvoyerFichier(chemin);
    const quint32 duree = mContexte.env.plateforme.ecouleDepuis(debut);
    if (!vivant || !mPoste)
        return false;
    mTour.fichierEnvoye(mContexte.env.plateforme.maintenantUs());
    retirerProgression(mListeEmissions, QStringLiteral("Emission "));
    if (envoye) {
        mEchecs.remove(chemin);
        const QString misDeCote = mPoste->FichierMisDeCote();
        if (!misDeCote.isEmpty()) {
            ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ERREUR : ") + misDeCote);
            noter(QStringLiteral("REFUS"), chemin + QStringLiteral(" mis de côté sous ") + misDeCote);
            return true;
        }
        // Rewritten while it was on its way: what left is not what the folder holds now.
        if (QFileInfo::exists(chemin) && FichiersComplets::apercu(chemin) != avant)
            Poste_Information(QStringLiteral("%1 a changé pendant son envoi : il est gardé et repartira.").arg(chemin));
        else
            QFile::remove(chemin);
        ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ") + nom);
        mDernierEnvoi = {nom, mContexte.env.plateforme.maintenant()};
        noter(QStringLiteral("ENVOI"), empreinte(chemin, contenu, duree));
        return true;
    }
    EchecEnvoi &echec = mEchecs[chemin];
    // A file that went on from where it stopped is not failing: its next turn comes soon.
    echec.nombre = mPoste->EnvoiAvance() ? 1 : echec.nombre + 1;
    echec.tick = mContexte.env.plateforme.tickMs();
    mbLigneCedee = true;
    ajouterLigne(mListeEmissions, QStringLiteral("Emissions"), dateHeure() + QStringLiteral(" - ERREUR : ") + chemin);
    const quint32 attente = attenteApresEchecs(echec.nombre);
    noter(QStringLiteral("ECHEC"), chemin + QStringLiteral(" n'est pas parti (échec %1%2)")
                                       .arg(echec.nombre)
                                       .arg(attente ? QStringLiteral(", nouvel essai dans %1 s au plus tôt").arg(attente / 1000)
                                                    : QString()));
    // A lost carrier leaves nothing to test: the modem would take the test as commands.
    if (!mPoste->EnvoiCoupe() && !mPoste->TesterConnexion(false)) {
        if (!vivant || mbTermine)
            return false;
        setCocheSynchro(EtatCase::Decoche);
        setCocheConnecter(EtatCase::Decoche);
        if (!vivant)
            return false;
        MGlobal::Attendre(mContexte.env.plateforme, 1000);
        if (vivant && mPoste && !mbTermine)
            mPoste->Connecter();
    }
    return false;
}
