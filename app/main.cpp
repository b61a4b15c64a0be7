// Until the main window exists, the program shows what the line driver does: two stations
// joined by a pseudo-terminal pair (a stand-in for a serial cable) exchange framed commands.
#include "BoitesMessageConsole.h"
#include "CorrespondancePorts.h"
#include "FComm.h"
#include "GestionPortsReels.h"
#include "PlateformeQt.h"
#include "Windows1252.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {
void afficher(const char *poste, const QString &texte)
{
    std::printf("%s  [%s] %s\n", qUtf8Printable(QTime::currentTime().toString("hh:mm:ss.zzz")), poste, qUtf8Printable(texte));
    std::fflush(stdout);
}

void suivre(FComm &comm, const char *poste)
{
    comm.Information.connecter([poste](const QString &t) { afficher(poste, t); });
    comm.Erreur.connecter([poste](const QString &t) { afficher(poste, QStringLiteral("Erreur : ") + t); });
    comm.ProgressEmission.connecter([poste](qint32 e, qint32 t) { afficher(poste, QStringLiteral("émission %1 / %2").arg(e).arg(t)); });
    comm.ProgressRecept.connecter([poste](qint32 r, qint32 a) { afficher(poste, QStringLiteral("réception %1 / %2").arg(r).arg(a)); });
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString socat = QStandardPaths::findExecutable("socat");
    if (socat.isEmpty()) {
        std::fprintf(stderr, "socat est introuvable : lancez tools/installer-dependances.sh en root.\n");
        return 1;
    }
    QTemporaryDir dossier;
    const QString a = dossier.filePath("ttyA"), b = dossier.filePath("ttyB");
    QProcess cable;
    cable.start(socat, {QStringLiteral("pty,raw,echo=0,link=%1").arg(a), QStringLiteral("pty,raw,echo=0,link=%1").arg(b)});
    PlateformeQt plateforme;
    if (!cable.waitForStarted() || !plateforme.attendreQue([&] { return QFile::exists(a) && QFile::exists(b); }, 5000)) {
        std::fprintf(stderr, "Le câble simulé (socat) n'a pas démarré.\n");
        return 1;
    }
    afficher("--", QStringLiteral("Câble simulé entre %1 et %2, 38400 bauds").arg(a, b));

    BoitesMessageConsole boites;
    CorrespondancePorts correspondance;
    GestionPortsReels ports(plateforme, correspondance);
    FComm posteA({plateforme, boites, ports}), posteB({plateforme, boites, ports});
    posteA.msNumPort = a;
    posteB.msNumPort = b;
    suivre(posteA, "A");
    suivre(posteB, "B");
    posteB.Reception.connecter([&](const QByteArray &texte) {
        posteB.TexteReçu_Clear();
        afficher("B", QStringLiteral("reçu %1 caractères : %2").arg(texte.size()).arg(Windows1252::versTexte(texte.left(40))));
        if (texte.startsWith("YAQUELQUUN?") || texte.startsWith("MESSAGE="))
            posteB.Ecrire("OUI");
    });
    if (!posteA.Connecter() || !posteB.Connecter())
        return 1;

    QByteArray reponse;
    afficher("A", QStringLiteral("test de la liaison : YAQUELQUUN?"));
    if (posteA.Ecrire("YAQUELQUUN?", "OUI", 3000, true, &reponse))
        afficher("A", QStringLiteral("réponse : ") + Windows1252::versTexte(reponse));
    const QByteArray message = "MESSAGE=" + Windows1252::depuisTexte(QStringLiteral("Relevé de fin de journée, données jointes. ")).repeated(40);
    afficher("A", QStringLiteral("envoi d'un message de %1 caractères").arg(message.size()));
    if (posteA.Ecrire(message, "OUI", 3000, true, &reponse))
        afficher("A", QStringLiteral("réponse : ") + Windows1252::versTexte(reponse));
    afficher("A", QStringLiteral("commande sans réponse, attente 1 s"));
    posteA.Ecrire("INCONNUE", "OK", 1000);

    posteA.Déconnecter();
    posteB.Déconnecter();
    cable.terminate();
    cable.waitForFinished();
    return 0;
}
