// The station: one window per station link, named on the command line; the same station
// without a window; and the small client that drives a running one.
#include "app/SignauxArret.h"
#include "auxwindows/BoitesMessageQt.h"
#include "mainwindow/FMain.h"
#include "mainwindow/FenetreMain.h"
#include "platform/CorrespondancePorts.h"
#include "platform/FichierIni.h"
#include "platform/production/BoitesMessageConsole.h"
#include "platform/production/DisqueLocal.h"
#include "platform/production/GestionPortsReels.h"
#include "platform/production/PlateformeQt.h"
#include "platform/production/ServiceSysteme.h"
#include "platform/production/SurveillanceDossierQt.h"
#include "platform/production/SurveillanceFenetreLocale.h"
#include "serial/DialogueComm.h"
#include "securite/CleStation.h"
#include "serial/FenetreComm.h"
#ifdef Q_OS_LINUX
#include "platform/production/SurveillanceDossierInotify.h"
#endif
#include "mainwindow/VueConsole.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cstdio>


namespace {
const char *const aide =
    "Usage : navette [options] [NOM DU POSTE]\n"
    "        navette --sans-fenetre [options] [NOM DU POSTE]\n"
    "        navette --commande PORT MASQUE\n"
    "        navette --etat PORT [--json]\n"
    "        navette --cle NOM DU POSTE [--dossier DOSSIER]\n"
    "\n"
    "Relie ce poste au poste distant décrit par la section « Port NOM » du fichier de\n"
    "configuration navette.INI (à côté du programme, ou dans son sous-dossier Données ; pour le\n"
    "programme installé dans /usr, ou là où l'utilisateur ne peut écrire : ~/.local/share/navette).\n"
    "Sans nom, le poste est celui de la clé « Connexion à » de la section « Defaut ».\n"
    "\n"
    "Options :\n"
    "  --dossier DOSSIER   dossier du programme à utiliser (configuration, dossiers par défaut)\n"
    "  --sans-fenetre      sans écran : tout ce que la fenêtre montrerait va sur la sortie\n"
    "  --echo              écrit aussi chaque ligne des listes sur la sortie standard\n"
    "  --capture FICHIER   enregistre l'image de la fenêtre après chaque changement visible\n"
    "  --commande PORT MASQUE\n"
    "                      pilote l'instance qui sert PORT (par exemple TCP1:) ; MASQUE de 0 à 15 :\n"
    "                      1 connecter, 2 devenir le poste appelant, 4 déconnecter, 8 arrêter\n"
    "  --etat PORT         affiche en une ligne l'état de l'instance qui sert PORT\n"
    "  --json              avec --etat : le même état en un objet JSON sur une ligne\n"
    "  --cle               affiche la clé publique du poste nommé (créée si besoin), en une ligne\n"
    "                      « CleDistante=… » à copier dans sa section sur l'autre poste, et son empreinte\n"
    "  --help              affiche cette aide\n"
    "\n"
    "Codes de sortie de --commande et --etat : 0 remis, 1 aucune instance, 2 arguments invalides.\n";

struct Options
{
    QString nom;
    QString dossier;
    bool echo = false;
    bool sansFenetre = false;
    QString capture;
    QString commandePort; // --commande or --etat
    qint32 masque = -1;    // -1 for --etat
    bool json = false;
    bool cle = false;
    QString erreur;
    bool aide = false;
};

Options lireOptions(const QStringList &arguments)
{
    Options o;
    QStringList mots;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        const auto valeur = [&](QString &cible) {
            if (i + 1 >= arguments.size())
                o.erreur = QStringLiteral("L'option %1 attend une valeur.").arg(a);
            else
                cible = arguments[++i];
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h"))
            o.aide = true;
        else if (a == QLatin1String("--dossier"))
            valeur(o.dossier);
        else if (a == QLatin1String("--capture"))
            valeur(o.capture);
        else if (a == QLatin1String("--echo"))
            o.echo = true;
        else if (a == QLatin1String("--sans-fenetre"))
            o.sansFenetre = true;
        else if (a == QLatin1String("--etat"))
            valeur(o.commandePort);
        else if (a == QLatin1String("--json"))
            o.json = true;
        else if (a == QLatin1String("--cle"))
            o.cle = true;
        else if (a == QLatin1String("--commande")) {
            QString masque;
            valeur(o.commandePort);
            if (o.erreur.isEmpty())
                valeur(masque);
            bool ok = false;
            o.masque = masque.toInt(&ok);
            if (o.erreur.isEmpty() && (!ok || o.masque < 0 || o.masque > 15))
                o.erreur = QStringLiteral("Masque invalide : « %1 » (un nombre de 0 à 15 est attendu).").arg(masque);
        }
        else if (a.startsWith(QLatin1String("--")))
            o.erreur = QStringLiteral("Option inconnue : %1").arg(a);
        else
            mots << a; // the whole rest of the line is the station name
    }
    o.nom = mots.join(QLatin1Char(' '));
    if (o.erreur.isEmpty() && o.json && (o.commandePort.isEmpty() || o.masque >= 0))
        o.erreur = QStringLiteral("L'option --json ne va qu'avec --etat.");
    if (o.erreur.isEmpty() && o.cle && (o.nom.isEmpty() || !o.commandePort.isEmpty()))
        o.erreur = QStringLiteral("L'option --cle attend le nom du poste, et rien d'autre que --dossier.");
    if (o.erreur.isEmpty() && !o.commandePort.isEmpty() && !o.nom.isEmpty())
        o.erreur = QStringLiteral("Argument en trop : %1").arg(o.nom);
    return o;
}

// --commande and --etat: one message to the instance serving the port.
int piloter(const Options &o)
{
    const QString port = CorrespondancePorts::normaliser(o.commandePort);
    const QString caption = FFermeture::captionPour(port);
    QString reponse, refus;
    const bool etat = o.masque < 0;
    if (!SurveillanceFenetreLocale::envoyer(caption, etat ? SurveillanceFenetre::messageEtat : FFermeture::messageCommande,
                                            etat ? (o.json ? 1 : 0) : o.masque, reponse, &refus)) {
        if (!refus.isEmpty())
            std::fprintf(stderr, "Prise refusée : %s.\n", qUtf8Printable(refus));
        std::fprintf(stderr, "Aucune instance de Navette ne sert le port %s\n", qUtf8Printable(port));
        return 1;
    }
    if (etat)
        std::printf("%s\n", qUtf8Printable(reponse));
    return 0;
}

std::unique_ptr<SurveillanceDossier> surveillanceDossier()
{
#ifdef Q_OS_LINUX
    if (auto inotify = SurveillanceDossierInotify::creer())
        return inotify;
#endif
    return std::make_unique<SurveillanceDossierQt>();
}

// Beside the program, unless it is installed with the system (/usr/bin) or where its user
// cannot write: then in the user's data folder, root included.
QString dossierDuPoste(const Options &o)
{
    if (!o.dossier.isEmpty())
        return QDir(o.dossier).absolutePath();
    const QString programme = QCoreApplication::applicationDirPath();
    if (!programme.startsWith(QLatin1String("/usr/")) && QFileInfo(programme).isWritable())
        return programme;
    const QString utilisateur = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/navette");
    QDir().mkpath(utilisateur);
    return utilisateur;
}

ContexteMain contexte(Environnement env, FichierIni &ini, const Options &o, DialogueParametres *dialogue,
                      CorrespondancePorts &correspondance)
{
    return {env,
            ini,
            dossierDuPoste(o),
            QFileInfo(QCoreApplication::applicationFilePath()).baseName(),
            o.nom,
            dialogue,
            &correspondance,
            [] { return std::make_unique<SurveillanceFenetreLocale>(); },
            surveillanceDossier,
            true};
}

// At once: nothing of the program may run afterwards. The configuration file and the port
// were closed by the shutdown before this; the journal is written line by line.
[[noreturn]] void finir(int code)
{
    std::fflush(nullptr);
    std::_Exit(code);
}

// --cle: the station's public key, made at the place the station itself uses.
int afficherCle(const Options &o)
{
    const QString dossier =
        QFileInfo(ParametresStation::fichierConfiguration(dossierDuPoste(o), QFileInfo(QCoreApplication::applicationFilePath()).baseName()))
            .absolutePath();
    const QString section = QStringLiteral("Port ") + o.nom;
    const bool nouvelle = !QFileInfo::exists(CleStation::chemin(dossier, section));
    DisqueLocal disque;
    QString erreur;
    const auto cle = CleStation::chargerPourLePoste(disque, dossier, section, erreur);
    if (!cle) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(erreur));
        return 1;
    }
    std::printf("CleDistante=%s\n", qUtf8Printable(cle->publique()));
    std::printf("Empreinte %s : poste %s (%s)\n", qUtf8Printable(CleStation::empreinte(cle->paire().publique)), qUtf8Printable(o.nom),
                qUtf8Printable(nouvelle ? QStringLiteral("clé créée") : QStringLiteral("clé existante")));
    return 0;
}

// --sans-fenetre: the same station, its window's lines on the standard output.
int sansFenetre(int argc, char **argv, const Options &o)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("navette"));
    PlateformeQt plateforme;
    BoitesMessageConsole boites(&plateforme);
    CorrespondancePorts correspondance;
    GestionPortsReels ports(plateforme, correspondance);
    FichierIni ini;
    VueConsole vue(&finir);
    DisqueLocal disque;
    FMain principale(contexte({plateforme, boites, ports, disque}, ini, o, nullptr, correspondance), vue);
    SignauxArret signaux([&](int) { principale.BtnTerminer_Click(); });
    ServiceSysteme service(plateforme);
    principale.Form_Load();
    // Ready once the first connection has opened the port (or armed its retry).
    QMetaObject::invokeMethod(&app, [&] {
        principale.Form_Activate();
        service.pret();
    }, Qt::QueuedConnection);
    return QCoreApplication::exec();
}

int avecFenetre(int argc, char **argv, const Options &options)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("navette"));
    QApplication::setApplicationDisplayName(FMain::titreApplication);
    if (!BoitesMessageQt::installerTraductionFrancaise())
        std::fputs("Traduction française de Qt introuvable (paquet qt6-translations-l10n) : les boutons des boîtes "
                   "resteront en anglais.\n",
                   stderr);

    PlateformeQt plateforme;
    BoitesMessageQt boites(plateforme);
    CorrespondancePorts correspondance;
    GestionPortsReels ports(plateforme, correspondance);
    FichierIni ini;
    FenetreComm fenetreComm;
    DialogueComm dialogue(plateforme, fenetreComm);
    FenetreMain fenetre;
    fenetre.setEcho(options.echo);
    fenetre.setCapture(options.capture);
    boites.setFenetrePrincipale(&fenetre);
    DisqueLocal disque;
    FMain principale(contexte({plateforme, boites, ports, disque}, ini, options, &dialogue, correspondance), fenetre);
    fenetre.setLogique(&principale);
    fenetre.setQuitter(&finir);
    SignauxArret signaux([&](int) { principale.BtnTerminer_Click(); });
    principale.Form_Load();
    fenetre.show();
    fenetre.activateWindow();
    return QApplication::exec();
}
}

int main(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Options options = lireOptions(arguments);
    if (options.aide) {
        std::fputs(aide, stdout);
        return 0;
    }
    if (!options.erreur.isEmpty()) {
        std::fprintf(stderr, "%s\n\n%s", qUtf8Printable(options.erreur), aide);
        return 2;
    }
    if (!options.commandePort.isEmpty()) {
        QCoreApplication app(argc, argv);
        return piloter(options);
    }
    if (options.cle) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("navette"));
        return afficherCle(options);
    }
    if (options.sansFenetre)
        return sansFenetre(argc, argv, options);
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Aucun écran n'est disponible pour la fenêtre de Navette (ni DISPLAY ni WAYLAND_DISPLAY).\n"
                   "Sur un poste sans écran, lancez « navette --sans-fenetre ».\n",
                   stderr);
        return 1;
    }
    return avecFenetre(argc, argv, options);
}
