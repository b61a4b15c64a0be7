// The station: one window per station link, named on the command line.
#include "BoitesMessageQt.h"
#include "CorrespondancePorts.h"
#include "DialogueComm.h"
#include "FMain.h"
#include "FenetreComm.h"
#include "FenetreMain.h"
#include "FichierIni.h"
#include "GestionPortsReels.h"
#include "PlateformeQt.h"
#include "SignauxArret.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>

namespace {
const char *const aide =
    "Usage : navette [options] [NOM DU POSTE]\n"
    "\n"
    "Relie ce poste au poste distant décrit par la section « Port NOM » du fichier de\n"
    "configuration navette.INI (à côté du programme, ou dans son sous-dossier Données).\n"
    "Sans nom, le poste est celui de la clé « Connexion à » de la section « Defaut ».\n"
    "\n"
    "Options :\n"
    "  --dossier DOSSIER   dossier du programme à utiliser (configuration, dossiers par défaut)\n"
    "  --echo              écrit aussi chaque ligne des listes sur la sortie standard\n"
    "  --capture FICHIER   enregistre l'image de la fenêtre après chaque changement visible\n"
    "  --help              affiche cette aide\n";

struct Options
{
    QString nom;
    QString dossier;
    bool echo = false;
    QString capture;
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
        else if (a.startsWith(QLatin1String("--")))
            o.erreur = QStringLiteral("Option inconnue : %1").arg(a);
        else
            mots << a; // the whole rest of the line is the station name
    }
    o.nom = mots.join(QLatin1Char(' '));
    return o;
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
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("Aucun écran n'est disponible pour la fenêtre de Navette (ni DISPLAY ni WAYLAND_DISPLAY).\n"
                   "Sur un poste sans écran, lancez-la avec QT_QPA_PLATFORM=offscreen.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("navette"));
    QApplication::setApplicationDisplayName(FMain::titreApplication);
    if (!BoitesMessageQt::installerTraductionFrancaise())
        std::fputs("Traduction française de Qt introuvable (paquet qt6-translations-l10n) : les boutons des boîtes "
                   "resteront en anglais.\n",
                   stderr);

    const QString dossierProgramme =
        QDir(options.dossier.isEmpty() ? QApplication::applicationDirPath() : options.dossier).absolutePath();
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
    FMain principale({{plateforme, boites, ports}, ini, dossierProgramme, QFileInfo(QApplication::applicationFilePath()).baseName(),
                      options.nom, &dialogue, &correspondance},
                     fenetre);
    fenetre.setLogique(&principale);
    SignauxArret signaux([&](int) { principale.BtnTerminer_Click(); });
    principale.Form_Load();
    fenetre.show();
    fenetre.activateWindow();
    return QApplication::exec();
}
