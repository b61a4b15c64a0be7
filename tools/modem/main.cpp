// navette-modem: emulated Hayes modems (or null-modem cables) on loopback TCP ports, so that
// two instances of the program can call each other on one machine.
#include "platform/production/PlateformeQt.h"
#include "tools/modem/ServeurModems.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTime>

#include <cstdio>

namespace {
// The command line into the server's settings; false, having said why, when a value is wrong.
bool lireOptions(const QCoreApplication &app, OptionsServeur &reglages)
{
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral(
        "Émulateur de modems Hayes sur des ports TCP locaux. Le modem k écoute sur 127.0.0.1, port P + k - 1,\n"
        "et répond au numéro de téléphone k : un poste branché sur « TCP1: » appelle « 2 » pour joindre celui\n"
        "de « TCP2: »."));
    options.addHelpOption();
    const QCommandLineOption port({"p", "port"}, QStringLiteral("Port TCP du modem 1 (7001 par défaut)."), "P", "7001");
    const QCommandLineOption modems({"n", "modems"}, QStringLiteral("Nombre de modems (2 par défaut)."), "N", "2");
    const QCommandLineOption vitesse({"v", "vitesse"}, QStringLiteral("Débit de la ligne téléphonique, en bauds, annoncé par CONNECT (38400 par défaut)."), "BAUDS", "38400");
    const QCommandLineOption direct("direct", QStringLiteral("Câbles null-modem au lieu de modems : ports appariés 1-2, 3-4…, sans commandes AT."));
    const QCommandLineOption sansTonalite("sans-tonalite", QStringLiteral("Ligne morte : toute numérotation finit par NO DIAL TONE."));
    const QCommandLineOption occupe("occupe", QStringLiteral("Les modems appelés répondent BUSY."));
    const QCommandLineOption sansReponse("sans-reponse", QStringLiteral("Les modems sonnent mais ne décrochent jamais."));
    const QCommandLineOption coupure("coupure-apres", QStringLiteral("Perte de porteuse SECONDES après la connexion."), "SECONDES", "0");
    const QCommandLineOption bruit("bruit", QStringLiteral("Part des octets altérés sur la ligne (0 à 1)."), "TAUX", "0");
    const QCommandLineOption latence("latence", QStringLiteral("Délai de la ligne dans chaque sens, en millisecondes (0 par défaut)."), "MS", "0");
    const QCommandLineOption compter("compter", QStringLiteral("Écrit, quand il change, le nombre d'octets remis à chaque port (mesures)."));
    options.addOptions({port, modems, vitesse, direct, sansTonalite, occupe, sansReponse, coupure, bruit, latence, compter});
    options.process(app);

    bool ok = true;
    const auto entier = [&](const QCommandLineOption &o, int min, int max) {
        bool converti = false;
        const int v = options.value(o).toInt(&converti);
        if (!converti || v < min || v > max) {
            std::fprintf(stderr, "Valeur invalide pour --%s : « %s » (%d à %d attendu).\n", qPrintable(o.names().last()),
                         qPrintable(options.value(o)), min, max);
            ok = false;
        }
        return v;
    };
    reglages.premierPort = quint16(entier(port, 1, 65535));
    reglages.modems = entier(modems, 1, 64);
    reglages.direct = options.isSet(direct);
    reglages.compter = options.isSet(compter);
    reglages.modele.vitesse = entier(vitesse, 300, 4'000'000);
    reglages.modele.sansTonalite = options.isSet(sansTonalite);
    reglages.modele.occupe = options.isSet(occupe);
    reglages.modele.sansReponse = options.isSet(sansReponse);
    reglages.modele.coupureApresMs = entier(coupure, 0, 86400) * 1000;
    reglages.modele.latenceMs = quint32(entier(latence, 0, 60'000));
    bool bruitOk = false;
    reglages.modele.bruit = options.value(bruit).toDouble(&bruitOk);
    if (!bruitOk || reglages.modele.bruit < 0 || reglages.modele.bruit > 1) {
        std::fprintf(stderr, "Valeur invalide pour --bruit : « %s » (0 à 1 attendu).\n", qPrintable(options.value(bruit)));
        ok = false;
    }
    return ok && reglages.premierPort + reglages.modems - 1 <= 65535;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("navette-modem"));
    OptionsServeur reglages;
    if (!lireOptions(app, reglages))
        return 2;

    PlateformeQt plateforme;
    ServeurModems serveur(plateforme, reglages);
    serveur.journal = [](const QString &texte) {
        std::printf("%s  %s\n", qUtf8Printable(QTime::currentTime().toString("hh:mm:ss.zzz")), qUtf8Printable(texte));
        std::fflush(stdout);
    };
    const QString erreur = serveur.demarrer();
    if (!erreur.isEmpty()) {
        std::fprintf(stderr, "%s\n", qUtf8Printable(erreur));
        return 1;
    }
    return app.exec();
}
