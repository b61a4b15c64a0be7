#include "mainwindow/ScrutateurEnvoi.h"

#include "link/CInterlocuteur.h"
#include "platform/Minuterie.h"
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

ScrutateurEnvoi::ScrutateurEnvoi(ProprietaireScrutateur &proprietaire, Plateforme &plateforme,
                                 std::function<std::unique_ptr<SurveillanceDossier>()> surveillanceDossier)
    : mProprietaire(proprietaire), mPlateforme(plateforme), mFabriqueSurveillance(std::move(surveillanceDossier)),
      mClock(plateforme.creerMinuterie())
{
    mClock->setInterval(intervalleBalayage);
    mClock->Timer.connecter([this] { tic(); });
}

ScrutateurEnvoi::~ScrutateurEnvoi()
{
    mVie.finir();
    arreter();
}

void ScrutateurEnvoi::arreter()
{
    mClock->setEnabled(false);
    mPlateforme.annuler(std::exchange(mBalayageAvance, 0));
}

void ScrutateurEnvoi::caseChangee(bool coche, bool appelant)
{
    arreter();
    if (coche)
        veillerDossier();
    mbAttenteAvantBalayage = true;
    mClock->setInterval(4000 + (appelant ? 5000 : 0));
    mClock->setEnabled(coche);
}

void ScrutateurEnvoi::posteDistantReconnu()
{
    // On a modem call it is known about 3.5 s in. The called station scans at 7 s and keeps
    // the first turn; the caller follows a second after it instead of five.
    constexpr qint32 premierBalayageMs = 4500;
    if (!mbAttenteAvantBalayage || !mClock->Enabled())
        return;
    mbAttenteAvantBalayage = false;
    mClock->setInterval(premierBalayageMs);
}

void ScrutateurEnvoi::receptionTerminee()
{
    mTour.fichierRecu(mPlateforme.maintenantUs());
    // Its turn: a station with a file waiting takes the line at once; one that only receives
    // keeps the usual wait.
    if (!mProprietaire.poste() || !mProprietaire.envoisPermis() || !mClock->Enabled() || !mbAttenteAvantBalayage
        || !fichierEnAttente())
        return;
    mbAttenteAvantBalayage = false;
    mClock->setInterval(qint32(TourDeLigne::priseDeTourMs(liaison())));
}

TourDeLigne::Liaison ScrutateurEnvoi::liaison() const
{
    const CInterlocuteur *poste = mProprietaire.poste();
    return {.etendue = poste->extensionActive(), .allerRetourMs = poste->allerRetourMs()};
}

bool ScrutateurEnvoi::fichierEnAttente() const
{
    const QString dossier = mProprietaire.poste()->Parametres.CheminFichiersAEnvoyer;
    const QStringList noms = QDir(dossier).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted);
    return std::any_of(noms.cbegin(), noms.cend(),
                       [&](const QString &nom) { return !enAttenteDeReessai(dossier + QLatin1Char('/') + nom); });
}

void ScrutateurEnvoi::tic()
{
    if (std::exchange(mbAttenteAvantBalayage, false)) {
        mClock->setInterval(intervalleBalayage);
        return;
    }
    balayerPuisRearmer();
}

void ScrutateurEnvoi::balayerPuisRearmer()
{
    // The box switched off and on during a send re-enables the clock: its tick waits.
    if (mbBalayageEnCours) {
        mbChangementPendantBalayage = true;
        return;
    }
    // A tick inside a command's wait or a received frame's handling: the send would find the
    // line taken. It comes back as soon as that is over.
    if (mProprietaire.poste() && mProprietaire.poste()->ligneOccupee()) {
        mClock->setInterval(intervalleLigneOccupee);
        return;
    }
    arreter();
    const auto vivant = mVie.temoin();
    mbLigneCedee = false;
    mbBalayageEnCours = true;
    mbChangementPendantBalayage = false;
    const quint32 revoir = balayer();
    if (!vivant)
        return;
    mbBalayageEnCours = false;
    mFinBalayageUs = mPlateforme.maintenantUs();
    if (!mProprietaire.envoisPermis())
        return;
    mClock->setInterval(mbLigneCedee ? intervalleApresEchec : intervalleBalayage);
    mClock->setEnabled(true);
    // What changed during the scan waited for its end, not for the next pass.
    if (mbChangementPendantBalayage || revoir > 0)
        avancerBalayage(mbChangementPendantBalayage ? 0 : revoir);
}

void ScrutateurEnvoi::veillerDossier()
{
    const CInterlocuteur *poste = mProprietaire.poste();
    if (!poste || !mFabriqueSurveillance)
        return;
    if (!mSurveillanceDossier) {
        mSurveillanceDossier = mFabriqueSurveillance();
        if (!mSurveillanceDossier)
            return;
        mSurveillanceDossier->Changement.connecter([this](const QString &nom, bool complet) { changement(nom, complet); });
    }
    const bool nouveau = poste->Parametres.CheminFichiersAEnvoyer != mDossierSurveille;
    if (!nouveau && mSurveillanceDossier->surveille())
        return;
    // A folder that went and came back is watched again; why it cannot be is said once.
    mDossierSurveille = poste->Parametres.CheminFichiersAEnvoyer;
    QString erreur;
    if (!mSurveillanceDossier->surveiller(mDossierSurveille, &erreur) && nouveau)
        mProprietaire.signaler(erreur);
}

void ScrutateurEnvoi::changement(const QString &nom, bool complet)
{
    if (complet && !nom.isEmpty())
        mComplets.signalerComplet(mDossierSurveille + QLatin1Char('/') + nom);
    avancerBalayage(0);
}

bool ScrutateurEnvoi::balayageRegulier() const
{
    // The guards of the pass still hold: none during a scan or, without the extension, a
    // reception (the box is off then), none in the wait after the box goes on, none while the
    // line is left to the other after a failure.
    return mProprietaire.envoisPermis() && mClock->Enabled() && !mbAttenteAvantBalayage && !mbLigneCedee;
}

void ScrutateurEnvoi::avancerBalayage(quint32 dansMs)
{
    if (mbBalayageEnCours) {
        mbChangementPendantBalayage = true;
        return;
    }
    const qint64 instant = std::max(mPlateforme.maintenantUs() + qint64(dansMs) * 1000, mFinBalayageUs + ecartMinimalUs);
    if (!balayageRegulier() || dansMs >= quint32(mClock->Interval()) || (mBalayageAvance && mInstantAvanceUs <= instant))
        return;
    mPlateforme.annuler(mBalayageAvance);
    mInstantAvanceUs = instant;
    mBalayageAvance = mPlateforme.planifierA(instant, [this, vivant = mVie.temoin()] {
        if (!vivant)
            return;
        mBalayageAvance = 0;
        if (balayageRegulier())
            balayerPuisRearmer();
    });
}

quint32 ScrutateurEnvoi::attenteApresEchecs(int nombre)
{
    // Tried again at the next scan behind the others, then after 30 s, 1, 2, 4 min... and
    // at least every 16 min: a file that keeps failing is never given up.
    if (nombre <= 1)
        return 0;
    return quint32(30'000) << std::min(nombre - 2, 5);
}

bool ScrutateurEnvoi::enAttenteDeReessai(const QString &chemin) const
{
    const auto echec = mEchecs.constFind(chemin);
    return echec != mEchecs.cend() && mPlateforme.ecouleDepuis(echec->tick) < attenteApresEchecs(echec->nombre);
}

bool ScrutateurEnvoi::lisible(const QString &chemin)
{
    QFile fichier(chemin);
    if (fichier.open(QIODevice::ReadOnly)) {
        if (mEchecs.value(chemin).illisible)
            mEchecs.remove(chemin);
        return true;
    }
    EchecEnvoi &echec = mEchecs[chemin];
    echec.tick = mPlateforme.tickMs();
    echec.nombre = std::max(echec.nombre, 2); // looked at again every 30 s, not every pass
    if (!std::exchange(echec.illisible, true))
        mProprietaire.envoiTermine({.issue = BilanEnvoi::Issue::Illisible, .chemin = chemin, .raison = fichier.errorString()});
    return false;
}

bool ScrutateurEnvoi::ordinaire(const QString &chemin)
{
    // A link would send whatever it points to (the configuration, anything this user reads),
    // and reading a pipe would never end.
    const QFileInfo info(chemin);
    if (!info.isSymLink() && info.isFile())
        return true;
    if (!mNonOrdinaires.contains(chemin))
        mProprietaire.signaler(
            QStringLiteral("%1 n'est pas un fichier ordinaire (%2) : il n'est pas envoyé et reste dans le dossier.")
                .arg(chemin, info.isSymLink() ? QStringLiteral("lien symbolique") : QStringLiteral("fichier spécial")));
    return false;
}

quint32 ScrutateurEnvoi::balayer()
{
    CInterlocuteur *poste = mProprietaire.poste();
    if (!poste)
        return 0;
    veillerDossier();
    const QString dossier = poste->Parametres.CheminFichiersAEnvoyer;
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
    const FichiersComplets::Bilan complets = mComplets.examiner(colFichiers, ouverts, mPlateforme.tickMs());
    for (auto it = mEchecs.begin(); it != mEchecs.end();)
        it = colFichiers.contains(it.key()) ? std::next(it) : mEchecs.erase(it);
    // Files that never failed first, then those that failed least.
    std::stable_sort(colFichiers.begin(), colFichiers.end(),
                     [&](const QString &x, const QString &y) { return mEchecs.value(x).nombre < mEchecs.value(y).nombre; });

    const auto vivant = mVie.temoin();
    qint64 debutEnvois = -1;
    for (const QString &chemin : std::as_const(colFichiers)) {
        // A pinned key: nothing leaves before the other station has proved it holds its half.
        if (!mProprietaire.envoisPermis() || !poste->liaisonAutorisee())
            break;
        if (QFileInfo(chemin.left(chemin.size() - 3) + QStringLiteral("Log")).isFile())
            continue;
        if (!complets.prets.contains(chemin) || enAttenteDeReessai(chemin) || !lisible(chemin))
            continue;
        // The other station's turn first, if it wants it: this one scans again after it.
        const qint64 maintenant = mPlateforme.maintenantUs();
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

bool ScrutateurEnvoi::envoyer(const QString &chemin)
{
    const auto vivant = mVie.temoin();
    const FichiersComplets::Apercu avant = FichiersComplets::apercu(chemin);
    const ContenuFichier lu = ContenuFichier::de(chemin);
    const auto contenu = mProprietaire.journalActif() ? std::optional(lu) : std::nullopt;
    const quint32 debut = mPlateforme.tickMs();
    const EnvoiFichier::Resultat resultat = mProprietaire.poste()->envoyerEnDetail(chemin);
    const quint32 duree = mPlateforme.ecouleDepuis(debut);
    if (!vivant || !mProprietaire.poste())
        return false;
    mTour.fichierEnvoye(mPlateforme.maintenantUs());
    if (!resultat.fichierRegle) {
        echouer(chemin, contenu, duree, resultat);
        return false;
    }
    mEchecs.remove(chemin);
    BilanEnvoi bilan{.issue = BilanEnvoi::Issue::Parti, .chemin = chemin, .dureeMs = duree, .contenu = contenu};
    bilan.misDeCote = resultat.misDeCote;
    // Rewritten while it was on its way: what left is not what the folder holds now. Its
    // content tells, as size and date may not: a rewrite at the same size within the file
    // system's time granularity (a jiffy here, two seconds on a FAT share) changes neither.
    if (!bilan.misDeCote.isEmpty())
        bilan.issue = BilanEnvoi::Issue::MisDeCote;
    else if (QFileInfo::exists(chemin) && (FichiersComplets::apercu(chemin) != avant || ContenuFichier::de(chemin).sha256 != lu.sha256))
        bilan.issue = BilanEnvoi::Issue::Change;
    else
        QFile::remove(chemin);
    mProprietaire.envoiTermine(bilan);
    return true;
}

void ScrutateurEnvoi::echouer(const QString &chemin, const std::optional<ContenuFichier> &contenu, quint32 duree,
                              const EnvoiFichier::Resultat &resultat)
{
    const auto vivant = mVie.temoin();
    EchecEnvoi &echec = mEchecs[chemin];
    // A file that went on from where it stopped is not failing: its next turn comes soon.
    echec.nombre = resultat.avance ? 1 : echec.nombre + 1;
    echec.tick = mPlateforme.tickMs();
    mbLigneCedee = true;
    mProprietaire.envoiTermine({.issue = BilanEnvoi::Issue::Echec,
                                .chemin = chemin,
                                .echecs = echec.nombre,
                                .attenteMs = attenteApresEchecs(echec.nombre),
                                .dureeMs = duree,
                                .contenu = contenu});
    // A lost carrier leaves nothing to test: the modem would take the test as commands.
    CInterlocuteur *lien = vivant ? mProprietaire.poste() : nullptr;
    if (lien && !resultat.coupe() && !lien->TesterConnexion(false) && vivant)
        mProprietaire.liaisonMuette();
}
