// Reading and writing the station's section of the configuration file.
#include "CInterlocuteur.h"

#include "BoitesMessage.h"
#include "FichierIni.h"
#include "MGlobal.h"
#include "Plateforme.h"
#include "ProprietaireLiaison.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {
bool texteNumerique(const QString &texte, double *valeur = nullptr)
{
    bool ok = false;
    const double v = texte.trimmed().toDouble(&ok);
    if (valeur)
        *valeur = v;
    return ok && !texte.trimmed().isEmpty();
}

// Boolean as written in the file: "-1" True, "0" False; also the words a person may type.
std::optional<bool> lireBooleen(const QString &texte)
{
    double v = 0;
    if (texteNumerique(texte, &v))
        return v != 0;
    const QString mot = texte.trimmed().toLower();
    if (mot == QLatin1String("true") || mot == QLatin1String("vrai"))
        return true;
    if (mot == QLatin1String("false") || mot == QLatin1String("faux"))
        return false;
    return std::nullopt;
}

QString ecrireBooleen(bool valeur)
{
    return valeur ? QStringLiteral("-1") : QStringLiteral("0");
}

void creerDossier(const QString &chemin)
{
    if (!chemin.isEmpty() && !QFileInfo(chemin).isDir())
        QDir().mkdir(chemin); // one level, as asked; a failure shows when the folder is used
}
}

bool CInterlocuteur::Initialiser(QString FichierConfig, QString SectionConfig)
{
    FrmComm = std::make_unique<FComm>(mContexte.env);
    FrmComm->estCommande = &CInterlocuteur::estCommandeDeLigne;
    FrmComm->setDialogue(mContexte.dialogue);
    FrmComm->Erreur.connecter([this](const QString &m) { FrmComm_Erreur(m); });
    FrmComm->Information.connecter([this](const QString &m) { FrmComm_Information(m); });
    FrmComm->ModemEtatConnexion.connecter([this](bool c) { FrmComm_ModemEtatConnexion(c); });
    FrmComm->ProgressEmission.connecter([this](qint32 e, qint32 t) { FrmComm_ProgressEmission(e, t); });
    FrmComm->ProgressRecept.connecter([this](qint32 r, qint32 a) { FrmComm_ProgressRecept(r, a); });
    FrmComm->Reception.connecter([this](const QByteArray &t) { FrmComm_Reception(t); });

    FichierIni &ini = mContexte.ini;
    if (!FichierConfig.isEmpty()) {
        if (SectionConfig.isEmpty())
            SectionConfig = mContexte.nomExecutable + QLatin1Char(' ') + Index;
    } else {
        QString dossier = mContexte.dossierProgramme;
        if (QFileInfo(dossier + QStringLiteral("/Données")).isDir())
            dossier += QStringLiteral("/Données");
        FichierConfig = dossier + QLatin1Char('/') + mContexte.nomExecutable + QStringLiteral(".INI");
        if (!QFileInfo::exists(FichierConfig)) {
            QFile nouveau(FichierConfig);
            if (nouveau.open(QIODevice::WriteOnly))
                nouveau.write("\n");
            mContexte.env.plateforme.pomper();
        }
        if (SectionConfig.isEmpty())
            SectionConfig = QStringLiteral("Port ") + Index;
    }
    msSectionConfig = SectionConfig;
    ini.setFichier(FichierConfig);
    ini.setSection(SectionConfig);

    ini.setCle(QStringLiteral("NumPort"));
    if (!ini.Lire()) {
        MGlobal::AfficherMessage(mContexte.env.boites, QStringLiteral("Erreur de lecture dans le fichier ") + FichierConfig,
                                 Boutons::OK, QString());
        return false;
    }
    QString port = ini.Valeur();
    if (texteNumerique(port)) {
        port = QStringLiteral("COM") + port.trimmed() + QLatin1Char(':');
        ini.setValeur(port);
        ini.Enregistrer();
    } else if (port.trimmed().isEmpty()) {
        const auto vivant = mVivant;
        Configurer();
        if (!*vivant || !FrmComm)
            return false;
        ini.setSection(msSectionConfig);
        ini.setCle(QStringLiteral("NumPort"));
        ini.Lire();
        port = ini.Valeur();
    }
    FrmComm->msNumPort = port;

    for (const char *cle : {"ParametresPort", "PosteAppellant", "NumTelAppel", "CheminFichiersRecus",
                            "CheminFichiersAEnvoyer", "Silencieux", "SvrHoraire", "Paramètre vitesse", "ScriptInit"})
        lireCleStation(QString::fromUtf8(cle));

    ini.setValeur(QString());
    lirePosition(QStringLiteral("LEFT"));
    lirePosition(QStringLiteral("TOP"));
    nettoyerDossierTravail();
    return true;
}

void CInterlocuteur::lireCleStation(const QString &cle)
{
    FichierIni &ini = mContexte.ini;
    ini.setCle(cle);
    ini.Lire();
    const QString valeur = ini.Valeur();
    if (cle == QLatin1String("ParametresPort")) {
        // Missing or blank, the driver keeps its default rather than failing to open.
        if (!valeur.trimmed().isEmpty())
            FrmComm->msSettings = valeur;
    } else if (cle == QLatin1String("PosteAppellant")) {
        if (const auto b = lireBooleen(valeur))
            PosteAppellant = *b;
    } else if (cle == QLatin1String("NumTelAppel")) {
        NumTelAppel = valeur;
    } else if (cle == QLatin1String("CheminFichiersRecus")) {
        CheminFichiersRecus = valeur;
        creerDossier(valeur);
    } else if (cle == QLatin1String("CheminFichiersAEnvoyer")) {
        CheminFichiersAEnvoyer = valeur;
        creerDossier(valeur);
    } else if (cle == QLatin1String("Silencieux") || cle == QLatin1String("SvrHoraire")) {
        bool &membre = cle == QLatin1String("Silencieux") ? Silencieux : SvrHoraire;
        double v = 0;
        if (texteNumerique(valeur, &v)) {
            membre = v != 0;
        } else {
            membre = false;
            ini.setValeur(ecrireBooleen(false));
            ini.Enregistrer();
        }
    } else if (cle == QStringLiteral("Paramètre vitesse")) {
        VitesseConx = valeur;
    } else if (cle == QLatin1String("ScriptInit")) {
        ScriptInit = valeur.isEmpty() ? QStringLiteral("ATZ0") : valeur;
    }
}

void CInterlocuteur::lirePosition(const QString &cle)
{
    FichierIni &ini = mContexte.ini;
    ini.setCle(cle);
    ini.Lire();
    double v = 0;
    if (!texteNumerique(ini.Valeur(), &v) || !std::isfinite(v) || std::abs(v) > 1e6)
        return;
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    QPoint position = fenetre.positionFenetre();
    const QSize ecran = fenetre.tailleEcran();
    const int coordonnee = int(std::lround(v));
    if (cle == QLatin1String("LEFT"))
        position.setX(coordonnee >= ecran.width() ? 0 : coordonnee);
    else
        position.setY(coordonnee >= ecran.height() ? 0 : coordonnee);
    fenetre.deplacerFenetre(position);
}

void CInterlocuteur::EcrireConfiguration()
{
    if (!FrmComm)
        return;
    FichierIni &ini = mContexte.ini;
    ini.setSection(msSectionConfig);
    const QList<QPair<QString, QString>> valeurs = {
        {QStringLiteral("NumPort"), FrmComm->msNumPort},
        {QStringLiteral("ParametresPort"), FrmComm->msSettings},
        {QStringLiteral("PosteAppellant"), ecrireBooleen(PosteAppellant)},
        {QStringLiteral("NumTelAppel"), NumTelAppel},
        {QStringLiteral("CheminFichiersRecus"), CheminFichiersRecus},
        {QStringLiteral("CheminFichiersAEnvoyer"), CheminFichiersAEnvoyer},
        {QStringLiteral("Silencieux"), ecrireBooleen(Silencieux)},
        {QStringLiteral("SvrHoraire"), ecrireBooleen(SvrHoraire)},
        {QStringLiteral("Paramètre vitesse"), VitesseConx},
        {QStringLiteral("ScriptInit"), ScriptInit},
    };
    for (const auto &[cle, valeur] : valeurs) {
        ini.setCle(cle);
        ini.setValeur(valeur);
        if (!ini.Enregistrer()) {
            Information(ini.DerniereErreur());
            return;
        }
    }
}
