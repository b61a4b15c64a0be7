// Two windowless stations in real time, over navette-modem at 115200 baud: a 256 KiB random
// file, then the CSV file, dropped into A's outgoing folder. Efficiency is file bytes over
// (seconds from drop to delivery x 11,520). The overhead per exchange compares the real send
// (from A's journal) with the same send in virtual time, divided by the command/answer
// exchanges (the announcement and each part).
#include "BancDeuxPostes.h"
#include "DonneesBench.h"
#include "ServeurModems.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

namespace {
bool attendre(const std::function<bool()> &condition, qint64 limiteMs)
{
    QElapsedTimer chrono;
    chrono.start();
    while (!condition()) {
        if (chrono.elapsed() > limiteMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        QThread::msleep(2);
    }
    return true;
}

// The same send in virtual time: its duration in seconds and its number of exchanges.
std::pair<double, int> enTempsVirtuel(const QByteArray &contenu)
{
    BancDeuxPostes banc({.bauds = 115200, .decoupage = Decoupage::Blocs});
    banc.demarrer();
    const QString fichier = banc.a.chemin("envoi/fichier.dat");
    ecrireFichier(fichier, contenu);
    const qint64 debut = banc.plateforme.maintenantUs();
    banc.a.poste->EnvoyerFichier(fichier);
    const double secondes = double(banc.plateforme.maintenantUs() - debut) / 1e6;
    const QRegularExpressionMatch parties = QRegularExpression("/(\\d+) - $").match(banc.a.poste->PartieGrosFichier);
    return {secondes, 1 + (parties.hasMatch() ? parties.captured(1).toInt() : 1)};
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const quint16 port = ServeurModems::premierPortLibre(2, 47001);
    QProcess modem;
    modem.start(NAVETTE_MODEM, {"--port", QString::number(port), "--vitesse", "115200"});
    if (port == 0 || !modem.waitForStarted() || !modem.waitForReadyRead(5000)) {
        std::fprintf(stderr, "navette-modem n'a pas démarré.\n");
        return 1;
    }
    QTemporaryDir dossier;
    ecrireFichier(dossier.filePath("navette.INI"),
                  "[Port A]\nNumPort=TCP1:\nParametresPort=115200, n, 8, 1\nPosteAppellant=-1\nNumTelAppel=2\n"
                  "[Port B]\nNumPort=TCP2:\nParametresPort=115200, n, 8, 1\nPosteAppellant=0\n"
                  "[Ports]\nTCP1:=127.0.0.1:"
                      + QByteArray::number(port) + "\nTCP2:=127.0.0.1:" + QByteArray::number(port + 1) + "\n");
    QProcess a, b;
    for (auto [processus, nom] : {std::pair{&b, "B"}, std::pair{&a, "A"}}) {
        processus->setStandardOutputFile(dossier.filePath(QString::fromLatin1(nom) + ".sortie"));
        processus->start(NAVETTE, {"--sans-fenetre", "--dossier", dossier.path(), nom});
        processus->waitForStarted();
        QThread::msleep(300);
    }
    const QString journalA = dossier.filePath("journal/A.log");
    if (!attendre([&] { return lireFichier(journalA).contains("\tCONNEXION\tDialogue établi"); }, 60'000)) {
        std::fprintf(stderr, "La liaison ne s'est pas établie.\n");
        return 1;
    }
    // The scanner's first pass comes 9 + 3 s after the link is up; from then on every 3 s.
    attendre([] { return false; }, 13'000);
    for (const auto &[nom, contenu] : {std::pair{"aleatoire", fichierAleatoire()}, std::pair{"csv", fichierCsv()}}) {
        const QString fichier = QStringLiteral("%1.dat").arg(QString::fromLatin1(nom));
        const QString prepare = dossier.filePath(fichier);
        ecrireFichier(prepare, contenu);
        QElapsedTimer chrono;
        chrono.start();
        QFile::rename(prepare, dossier.filePath("Envois à A/" + fichier)); // dropped whole
        const QString recu = dossier.filePath("Recus de B/" + fichier.toUpper());
        if (!attendre([&] { return QFileInfo(recu).size() == contenu.size(); }, 300'000)) {
            std::fprintf(stderr, "%s n'est pas arrivé.\n", nom);
            return 1;
        }
        const double secondes = double(chrono.elapsed()) / 1000.0;
        std::printf("reel_efficacite_%s_115200: %.3f\n", nom, double(contenu.size()) / (secondes * 11520.0));
        attendre([&] { return lireFichier(journalA).contains(fichier.toUtf8() + ", "); }, 10'000);
        const QRegularExpressionMatch envoi =
            QRegularExpression(QRegularExpression::escape(fichier) + ", \\d+ octets, ([\\d.]+) s,").match(QString::fromUtf8(lireFichier(journalA)));
        const auto [virtuel, echanges] = enTempsVirtuel(contenu);
        const double reel = envoi.captured(1).toDouble();
        std::printf("reel_depot_a_livraison_s_%s: %.3f\n", nom, secondes);
        std::printf("reel_envoi_s_%s: %.3f (temps virtuel : %.3f, %d échanges)\n", nom, reel, virtuel, echanges);
        if (std::string(nom) == "aleatoire")
            std::printf("reel_surcout_ms_par_echange: %.3f\n", (reel - virtuel) * 1000.0 / echanges);
        std::fflush(stdout);
    }
    for (QProcess *processus : {&a, &b}) {
        ::kill(pid_t(processus->processId()), SIGTERM);
        processus->waitForFinished(20'000);
    }
    modem.terminate();
    modem.waitForFinished();
    return 0;
}
