// Reading and writing the station's section of the configuration file.
#include "link/CInterlocuteur.h"

#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/FichierIni.h"
#include "platform/Plateforme.h"

#include <QDir>
#include <QFileInfo>

namespace {
void creerDossier(const QString &chemin)
{
    if (!chemin.isEmpty() && !QFileInfo(chemin).isDir())
        QDir().mkdir(chemin); // one level, as asked; a failure shows when the folder is used
}
}

bool CInterlocuteur::Initialiser(QString FichierConfig, QString SectionConfig)
{
    FrmComm = std::make_unique<FComm>(mContexte.env);
    FrmComm->estCommande = &CommandesDeLigne::estCommandeDeLigne;
    FrmComm->setDialogue(mContexte.dialogue);
    FrmComm->Erreur.connecter([this](const QString &m) { FrmComm_Erreur(m); });
    FrmComm->Information.connecter([this](const QString &m) { FrmComm_Information(m); });
    FrmComm->ModemEtatConnexion.connecter([this](bool c) { FrmComm_ModemEtatConnexion(c); });
    FrmComm->ProgressEmission.connecter([this](qint32 e, qint32 t) { FrmComm_ProgressEmission(e, t); });
    FrmComm->ProgressRecept.connecter([this](qint32 r, qint32 a) { FrmComm_ProgressRecept(r, a); });
    FrmComm->Reception.connecter([this](const QByteArray &t) { FrmComm_Reception(t); });
    FrmComm->TrameRefusee.connecter([this](const QByteArray &t) { mAuth.surTrameRefusee(t); });

    choisirFichier(std::move(FichierConfig), std::move(SectionConfig));
    if (!lireNumPort())
        return false;
    lire(mContexte.ini);
    mAuth.configurer(QFileInfo(mContexte.ini.Fichier()).absolutePath(), msSectionConfig, CleDistante);
    // The handshake travels with the extension: a pinned key keeps it on.
    if (mAuth.exigee())
        ProtocoleEtendu = true;
    if (!ParametresPort.trimmed().isEmpty())
        FrmComm->msSettings = ParametresPort;
    creerDossier(CheminFichiersRecus);
    creerDossier(CheminFichiersAEnvoyer);
    placerFenetre();
    mDossiers.nettoyerTravail();
    return true;
}

void CInterlocuteur::choisirFichier(QString FichierConfig, QString SectionConfig)
{
    if (!FichierConfig.isEmpty()) {
        if (SectionConfig.isEmpty())
            SectionConfig = mContexte.nomExecutable + QLatin1Char(' ') + Index;
    } else {
        FichierConfig = fichierConfiguration(mContexte.dossierProgramme, mContexte.nomExecutable);
        if (creerSiAbsent(FichierConfig))
            mContexte.env.plateforme.pomper();
        if (SectionConfig.isEmpty())
            SectionConfig = QStringLiteral("Port ") + Index;
    }
    msSectionConfig = SectionConfig;
    mContexte.ini.setFichier(FichierConfig);
    mContexte.ini.setSection(SectionConfig);
}

bool CInterlocuteur::lireNumPort()
{
    FichierIni &ini = mContexte.ini;
    ini.setCle(QStringLiteral("NumPort"));
    if (!ini.Lire()) {
        MGlobal::AfficherMessage(mContexte.env.boites, QStringLiteral("Erreur de lecture dans le fichier ") + ini.Fichier(),
                                 Boutons::OK, QString());
        return false;
    }
    QString port = ini.Valeur();
    if (nombre(port)) {
        port = QStringLiteral("COM") + port.trimmed() + QLatin1Char(':');
        ini.setValeur(port);
        ini.Enregistrer();
    } else if (port.trimmed().isEmpty()) {
        const auto vivant = mVie.temoin();
        Configurer();
        if (!vivant || !FrmComm)
            return false;
        ini.setSection(msSectionConfig);
        ini.setCle(QStringLiteral("NumPort"));
        ini.Lire();
        port = ini.Valeur();
    }
    NumPort = port;
    FrmComm->msNumPort = port;
    return true;
}

void CInterlocuteur::placerFenetre()
{
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    const QSize ecran = fenetre.tailleEcran();
    // A place beyond the screen (a screen since changed) starts from its edge.
    if (Gauche)
        fenetre.deplacerFenetre({*Gauche >= ecran.width() ? 0 : *Gauche, fenetre.positionFenetre().y()});
    if (Haut)
        fenetre.deplacerFenetre({fenetre.positionFenetre().x(), *Haut >= ecran.height() ? 0 : *Haut});
}

void CInterlocuteur::EcrireConfiguration()
{
    if (!FrmComm)
        return;
    NumPort = FrmComm->msNumPort;
    ParametresPort = FrmComm->msSettings;
    FichierIni &ini = mContexte.ini;
    ini.setSection(msSectionConfig);
    QString raison;
    if (!ecrire(ini, false, &raison))
        Information(raison);
}
