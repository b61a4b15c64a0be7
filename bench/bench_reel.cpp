// Two windowless stations in real time, over navette-modem at 115200 baud: a 256 KiB random
// file, then the CSV file, dropped into A's outgoing folder. Efficiency is file bytes over
// (seconds from drop to delivery x 11,520). The overhead per exchange compares the real send
// (from A's journal) with the same send in virtual time, divided by the command/answer
// exchanges (the announcement and each part). Then the median, over 10 tries, from a 1 KB
// file moved into the idle station's outgoing folder to its arrival.
#include "bench/DeuxPostesReels.h"
#include "bench/DonneesBench.h"
#include "tests/support/DeuxStationsSurCable.h"

#include <QCoreApplication>
#include <QDir>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <random>

namespace {
// The same send in virtual time: its duration in seconds and its number of exchanges.
std::pair<double, int> enTempsVirtuel(const QByteArray &contenu)
{
    DeuxStationsSurCable banc({.bauds = 115200, .decoupage = Decoupage::Blocs});
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
    const DeuxPostesReels dossier({}, 47001);
    if (!dossier.prets())
        return 1;
    const QString journalA = dossier.chemin("journal/A.log");
    const auto attendre = DeuxPostesReels::attendre;
    for (const auto &[nom, contenu] : {std::pair{"aleatoire", fichierAleatoire()}, std::pair{"csv", fichierCsv()}}) {
        const QString fichier = QStringLiteral("%1.dat").arg(QString::fromLatin1(nom));
        const double secondes = dossier.livrer(fichier, contenu, 300'000);
        if (secondes < 0) {
            std::fprintf(stderr, "%s n'est pas arrivé.\n", nom);
            return 1;
        }
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

    QList<double> latences;
    std::mt19937 alea(11);
    for (int essai = 0; essai < 10; ++essai) {
        attendre([] { return false; }, 500); // idle again
        QByteArray petit(1024, Qt::Uninitialized);
        for (char &c : petit)
            c = char(alea());
        const QString fichier = QStringLiteral("petit%1.dat").arg(essai);
        const double secondes = dossier.livrer(fichier, petit, 60'000);
        if (secondes < 0) {
            std::fprintf(stderr, "%s n'est pas arrivé.\n", qPrintable(fichier));
            return 1;
        }
        latences.append(secondes * 1000.0);
    }
    std::sort(latences.begin(), latences.end());
    std::printf("reel_latence_petit_fichier_ms: %.1f (de %.1f à %.1f)\n", (latences[4] + latences[5]) / 2, latences.first(),
                latences.last());
    return 0;
}
