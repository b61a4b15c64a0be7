// Until the main window exists, the program shows the link engine at work: two stations, each
// with its own folders and configuration, call each other through the modem emulator, test
// the link, exchange a file and a message, and hang up.
#include "BoitesMessageConsole.h"
#include "CInterlocuteur.h"
#include "CorrespondancePorts.h"
#include "FichierIni.h"
#include "GestionPortsReels.h"
#include "PlateformeQt.h"
#include "ProprietaireConsole.h"
#include "ServeurModems.h"
#include "Windows1252.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTime>

#include <cstdio>

namespace {
void afficher(const char *poste, const QString &texte)
{
    std::printf("%s  [%s] %s\n", qUtf8Printable(QTime::currentTime().toString("hh:mm:ss.zzz")), poste, qUtf8Printable(texte));
    std::fflush(stdout);
}

struct Station
{
    Station(const char *nom, Environnement env, Plateforme &plateforme, const QString &dossier, const QByteArray &cles)
        : nom(nom), proprietaire(plateforme)
    {
        QDir().mkpath(dossier + "/envoi");
        QDir().mkpath(dossier + "/recus");
        QFile ini(dossier + "/navette.INI");
        if (ini.open(QIODevice::WriteOnly))
            ini.write("[Port " + QByteArray(nom) + "]\n" + cles + "CheminFichiersRecus=" + dossier.toUtf8() + "/recus\n"
                      + "CheminFichiersAEnvoyer=" + dossier.toUtf8() + "/envoi\n");
        ini.close();
        poste = std::make_unique<CInterlocuteur>(ContexteLiaison{env, fichierIni, proprietaire, dossier, "navette", nom});
        poste->Index = QString::fromLatin1(nom);
        poste->Information.connecter([this](const QString &t) { afficher(this->nom, t); });
        poste->CommandeReçue.connecter([this](const QString &c, QString &reponse) {
            afficher(this->nom, QStringLiteral("reçu : ") + c);
            if (c.startsWith("MESSAGE=") && !c.startsWith("MESSAGE=Bien reçu"))
                reponse = QStringLiteral("MESSAGE=Bien reçu, merci.");
        });
        poste->FichierReçu.connecter([this](const QString &f) { afficher(this->nom, QStringLiteral("fichier reçu : ") + f); });
        poste->ModemEtatConnexionChange.connecter([this](bool c) {
            afficher(this->nom, c ? QStringLiteral("liaison établie") : QStringLiteral("liaison coupée"));
        });
        poste->Initialiser();
    }
    const char *nom;
    FichierIni fichierIni;
    ProprietaireConsole proprietaire;
    std::unique_ptr<CInterlocuteur> poste;
};
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("navette"));
    PlateformeQt plateforme;

    const quint16 port = ServeurModems::premierPortLibre(2, 17001);
    QProcess emulateur;
    emulateur.setProcessChannelMode(QProcess::ForwardedChannels);
    emulateur.start(QCoreApplication::applicationDirPath() + "/navette-modem", {"--port", QString::number(port), "--vitesse", "38400"});
    if (port == 0 || !emulateur.waitForStarted()) {
        std::fprintf(stderr, "L'émulateur de modem (navette-modem) n'a pas pu démarrer.\n");
        return 1;
    }
    plateforme.attendreQue([] { return false; }, 300);

    QTemporaryDir dossier;
    BoitesMessageConsole boites;
    CorrespondancePorts correspondance;
    correspondance.definir("TCP1:", QStringLiteral("127.0.0.1:%1").arg(port));
    correspondance.definir("TCP2:", QStringLiteral("127.0.0.1:%1").arg(port + 1));
    GestionPortsReels ports(plateforme, correspondance);
    const Environnement env{plateforme, boites, ports};

    Station b("B", env, plateforme, dossier.filePath("B"), "NumPort=TCP2:\nPosteAppellant=0\n");
    Station a("A", env, plateforme, dossier.filePath("A"), "NumPort=TCP1:\nPosteAppellant=-1\nNumTelAppel=2\n");

    afficher("--", QStringLiteral("B se prépare à répondre, A appelle le 2."));
    b.poste->Connecter();
    a.poste->Connecter();
    if (!plateforme.attendreQue([&] { return a.poste->ModemEtatConnexion() && b.poste->ModemEtatConnexion(); }, 20000)) {
        afficher("--", QStringLiteral("La liaison ne s'est pas établie."));
        emulateur.terminate();
        emulateur.waitForFinished();
        return 1;
    }
    a.poste->TesterConnexion(true);

    const QString fichier = dossier.filePath("A/envoi/releve.csv");
    QFile csv(fichier);
    if (csv.open(QIODevice::WriteOnly))
        for (int i = 0; i < 1500; ++i)
            csv.write(QStringLiteral("%1/03/2026;S%2;P%3;%4\r\n").arg(1 + i % 28).arg(100 + i % 7).arg(i % 300).arg(i * 13 % 997).toUtf8());
    csv.close();
    afficher("A", QStringLiteral("envoi de releve.csv (%1 octets)").arg(QFileInfo(fichier).size()));
    QString partie;
    a.poste->ProgressEmission.connecter([&](qint32, qint32) {
        if (a.poste->PartieGrosFichier != partie)
            afficher("A", QStringLiteral("envoi de la ") + (partie = a.poste->PartieGrosFichier).chopped(3));
    });
    afficher("A", a.poste->EnvoyerFichier(fichier) ? QStringLiteral("fichier remis") : QStringLiteral("fichier non remis"));

    a.poste->EnvoyerCommande(Windows1252::depuisTexte(QStringLiteral("MESSAGE=Le relevé de mars est parti.")), "", 3000);
    plateforme.attendreQue([] { return false; }, 1500);

    afficher("--", QStringLiteral("A raccroche."));
    a.poste->Déconnecter();
    plateforme.attendreQue([&] { return !b.poste->ModemEtatConnexion(); }, 5000);
    a.poste->Terminer();
    b.poste->Terminer();
    emulateur.terminate();
    emulateur.waitForFinished();
    return 0;
}
