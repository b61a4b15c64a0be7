// Start-up, close request and shutdown of the main window.
#include "mainwindow/FMain.h"
#include "platform/EtatCase.h"

#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/CorrespondancePorts.h"
#include "platform/Dezipper.h"
#include "platform/FichierIni.h"
#include "platform/Journal.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"
#include "platform/SurveillanceDossier.h"
#include "serial/FComm.h"
#include "serial/ParametresStation.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString FMain::nomDeStation()
{
    if (!mContexte.ligneCommande.isEmpty())
        return mContexte.ligneCommande;
    FichierIni &ini = mContexte.ini;
    ini.setFichier(ParametresStation::fichierConfiguration(mContexte.dossierProgramme, mContexte.nomExecutable));
    if (ParametresStation::creerSiAbsent(ini.Fichier()))
        mContexte.env.plateforme.pomper();
    ini.setSection(QStringLiteral("Defaut"));
    ini.setCle(QStringLiteral("Connexion à"));
    ini.Lire();
    if (ini.Valeur().isEmpty()) {
        ini.setValeur(QStringLiteral("A"));
        ini.Enregistrer();
    }
    return ini.Valeur();
}

void FMain::brancherPoste()
{
    CInterlocuteur &p = *mPoste;
    p.FichierReçu.connecter([this](const QString &f) { Poste_FichierReçu(f); });
    p.CommandeReçue.connecter([this](const QString &c, QString &r) { Poste_CommandeReçue(c, r); });
    p.LiaisonVerifiee.connecter([this](VerdictLiaison v) { Poste_LiaisonVerifiee(v); });
    p.Information.connecter([this](const QString &i) { Poste_Information(i); });
    p.ProgressRecept.connecter([this](qint32 r, qint32 a) { Poste_ProgressRecept(r, a); });
    p.ProgressEmission.connecter([this](qint32 e, qint32 t) { Poste_ProgressEmission(e, t); });
    p.ModemEtatConnexionChange.connecter([this](bool c) { Poste_ModemEtatConnexion(c); });
    p.EtatTimeOut.connecter([this](const QString &t, const QString &c, int d) { Poste_EtatTimeOut(t, c, d); });
}

bool FMain::creerDossier(QString &chemin, const QString &parDefaut)
{
    if (chemin.isEmpty())
        chemin = parDefaut;
    if (QFileInfo::exists(chemin))
        return true;
    if (QDir().mkdir(chemin)) {
        // A program folder shared with a group (set-group-ID, as the service's) shares these
        // two folders with it, for dropping and taking files, and nothing else it holds.
        // Set on what was opened: a link put in its place meanwhile is not followed.
        if (partageAvecLeGroupe(QFileInfo(chemin).absolutePath())) {
            const int fd = ::open(QFile::encodeName(chemin).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                ::fchmod(fd, 02770);
                ::close(fd);
            }
        }
        return true;
    }
    MGlobal::AfficherMessage(mContexte.env.boites, QStringLiteral("Impossible de créer le répertoire ") + chemin, Boutons::OK,
                             titreApplication);
    return false;
}

bool FMain::partageAvecLeGroupe(const QString &dossier)
{
    struct stat s{};
    return ::stat(QFile::encodeName(dossier).constData(), &s) == 0 && (s.st_mode & S_ISGID);
}

void FMain::Form_Load()
{
    curseurAttente(true);
    mbDemarrage = true;
    mPoste = std::make_unique<CInterlocuteur>(ContexteLiaison{mContexte.env, mContexte.ini, *this, mContexte.dossierProgramme,
                                                              mContexte.nomExecutable, mContexte.ligneCommande,
                                                              mContexte.dialogue});
    brancherPoste();
    mPoste->Index = nomDeStation();
    setCaption(mPoste->Index + QStringLiteral(" : Navette"));
    mPoste->Initialiser();
    if (mContexte.journal && !mContexte.ini.Fichier().isEmpty()) {
        const QString dossier = QFileInfo(mContexte.ini.Fichier()).absolutePath() + QStringLiteral("/journal/");
        mJournal = std::make_unique<Journal>(dossier + Dezipper::nomSur(mPoste->Index) + QStringLiteral(".log"), mPoste->Index,
                                             mContexte.env.plateforme);
        mJournal->Avertissement.connecter([this](const QString &texte) { afficherInformation(texte, QString()); });
        noter(QStringLiteral("DEMARRAGE"), QStringLiteral("Poste %1, configuration %2").arg(mPoste->Index, mContexte.ini.Fichier()));
    }
    if (mContexte.correspondance) {
        // Where the port names lead, from the same file ("[Ports]").
        const QString section = mContexte.ini.Section();
        for (const QString &refus : mContexte.correspondance->charger(mContexte.ini))
            Poste_Information(refus);
        mContexte.ini.setSection(section);
    }
    const QString programme = mContexte.dossierProgramme + QLatin1Char('/');
    if (!creerDossier(mPoste->Parametres.CheminFichiersAEnvoyer, programme + QStringLiteral("Envois à ") + mPoste->Index)
        || !creerDossier(mPoste->Parametres.CheminFichiersRecus, programme + QStringLiteral("Recus de ") + mPoste->Index)) {
        mbTermine = true;
        mVue.quitter(1);
        return;
    }
    mPoste->nettoyerRestesDeReception();
    chargerFenetreInstance();
    rafraichir();
}

void FMain::Form_Activate()
{
    if (mbDemarrage && !mbTermine)
        setCocheConnecter(EtatCase::Coche);
}

bool FMain::Form_QueryUnload(int UnloadMode)
{
    if (mbTermine)
        return false;
    if (UnloadMode == FermetureParLaCase && mCocheConnecter == EtatCase::Coche) {
        const int reponse = MGlobal::AfficherMessage(mContexte.env.boites,
                                                     QStringLiteral("Etes vous sûr de vouloir interrompre la communication ?"),
                                                     Boutons::OuiNon, QString());
        if (reponse == Reponse::Non)
            return true;
    }
    BtnTerminer_Click();
    return false;
}

void FMain::BtnTerminer_Click()
{
    if (mbTermine)
        return;
    const auto vivant = mVie.temoin();
    curseurAttente(true);
    setCocheConnecter(EtatCase::Decoche);
    if (!vivant)
        return;
    mCocheConnecterActif = false;
    mScrutateur.arreter();
    if (mPoste)
        mPoste->Terminer();
    if (!vivant)
        return;
    mbTermine = true;
    noter(QStringLiteral("ARRET"), QStringLiteral("Poste arrêté"));
    curseurAttente(false);
    rafraichir();
    mVue.quitter(0);
}

void FMain::curseurAttente(bool attente)
{
    mVue.curseurAttente(attente);
}

bool FMain::fenetreMinimisee() const
{
    return mVue.etatFenetre() == EtatFenetre::Minimisee;
}

QPoint FMain::positionFenetre() const
{
    return mVue.position();
}

void FMain::deplacerFenetre(const QPoint &position)
{
    mVue.deplacer(position);
}

QSize FMain::tailleEcran() const
{
    return mVue.tailleEcran();
}

void FMain::chargerFenetreInstance()
{
    if (mPoste && mPoste->FrmComm && !mbTermine)
        mFermeture->Charger(*this);
}

void FMain::terminerFenetreInstance()
{
    mFermeture->Terminer();
}

QString FMain::numPort() const
{
    return mPoste ? mPoste->nomPort() : QString();
}

bool FMain::DefinirCePosteEnAppelant()
{
    return mPoste && !mbTermine && mPoste->DefinirCePosteEnAppelant();
}

QString FMain::ligneEtat(bool json) const
{
    const QString poste = mPoste ? mPoste->Index : QString();
    const QString dossier = mPoste ? mPoste->Parametres.CheminFichiersAEnvoyer : QString();
    const qsizetype enAttente = QDir(dossier).entryList(QDir::Files | QDir::NoDotAndDotDot).size();
    if (json) {
        const auto dernier = [](const Dernier &d) -> QJsonValue {
            if (d.nom.isEmpty())
                return QJsonValue::Null;
            return QJsonObject{{"fichier", d.nom}, {"date", d.quand.toString(Qt::ISODate)}};
        };
        static const char *const connexions[] = {"non connecté", "connecté", "en cours"};
        const QJsonObject etat{{"poste", poste},
                               {"port", numPort()},
                               {"connexion", connexions[std::clamp(mCocheConnecter, 0, 2)]},
                               {"synchronisation", mCocheSynchro == EtatCase::Coche},
                               {"supervision", mLblTimeOut},
                               {"fichiersEnAttente", qint64(enAttente)},
                               {"dernierEnvoi", dernier(mDernierEnvoi)},
                               {"derniereReception", dernier(mDerniereReception)},
                               {"liaison", mPoste ? mPoste->authentification().etat() : QString()},
                               {"empreinteLocale", mPoste ? mPoste->authentification().empreinteLocale() : QString()},
                               {"tramesRefusees", qint64(mPoste ? mPoste->authentification().tramesRefusees() : 0)}};
        return QString::fromUtf8(QJsonDocument(etat).toJson(QJsonDocument::Compact));
    }
    const auto dernier = [](const Dernier &d, const QString &aucun) {
        return d.nom.isEmpty() ? aucun : d.nom + QStringLiteral(" le ") + dateHeure(d.quand);
    };
    return QStringLiteral("Poste %1, port %2, %3, synchronisation %4, supervision %5, %6 fichier(s) en attente, "
                          "dernier envoi : %7, dernière réception : %8, liaison %9")
        .arg(poste, numPort(), captionCocheConnecter(),
             mCocheSynchro == EtatCase::Coche ? QStringLiteral("active") : QStringLiteral("arrêtée"), mLblTimeOut)
        .arg(enAttente)
        .arg(dernier(mDernierEnvoi, QStringLiteral("aucun")), dernier(mDerniereReception, QStringLiteral("aucune")),
             mPoste ? mPoste->authentification().etat() : QStringLiteral("inconnue"));
}
