// Two windowless stations in real time over navette-modem at 115200 baud, with one byte in
// 10,000 altered on the telephone line and the carrier lost 90 s after each connection.
// 30 files of mixed sizes are dropped into each outgoing folder over 12 minutes, each
// written elsewhere and moved in whole; then the run waits for both folders to empty.
#include "bench/DeuxPostesReels.h"
#include "tests/support/BilanLivraisons.h"
#include "tests/support/StationSimulee.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

namespace {
void patienter(qint64 ms)
{
    QElapsedTimer chrono;
    chrono.start();
    while (chrono.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
    }
}

// One direction of the run: what left, and the longest time files waited with none arriving.
struct Sens
{
    Sens(QString n, QString s, QString r) : nom(std::move(n)), sortie(std::move(s)), recus(std::move(r)) {}
    QString nom, sortie, recus;
    QList<Envoi> envois;
    qsizetype livresVus = 0;
    qint64 depuisMs = 0, silenceMaxMs = 0;

    void suivre(qint64 maintenantMs)
    {
        const qsizetype livres = bilan(envois, arrivees(recus), sortie).livres;
        const bool enAttente = !QDir(sortie).isEmpty(QDir::Files);
        if (livres > livresVus || !enAttente)
            depuisMs = maintenantMs;
        livresVus = livres;
        silenceMaxMs = std::max(silenceMaxMs, maintenantMs - depuisMs);
    }
};
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const DeuxPostesReels dossier({"--bruit", "0.0001", "--coupure-apres", "90"}, 47101);
    if (!dossier.demarre())
        return 1;
    Sens versB{"A_vers_B", dossier.chemin("Envois à A"), dossier.chemin("Recus de B")};
    Sens versA{"B_vers_A", dossier.chemin("Envois à B"), dossier.chemin("Recus de A")};
    QDir().mkpath(dossier.chemin("brouillons"));
    std::mt19937 alea(1);
    QElapsedTimer chrono;
    chrono.start();
    constexpr qint64 dureeDepotsMs = 12 * 60'000, attenteFinMs = 10 * 60'000;
    for (int i = 0; i < 30; ++i) {
        for (Sens *sens : {&versB, &versA}) {
            const QString nom = QStringLiteral("%1%2.dat").arg(sens == &versB ? 'a' : 'b').arg(i, 2, 10, QLatin1Char('0'));
            sens->envois.append({nom.toUpper(), contenuAuHasard(alea)});
            ecrireFichier(dossier.chemin("brouillons/" + nom), sens->envois.last().contenu);
            QFile::rename(dossier.chemin("brouillons/" + nom), sens->sortie + "/" + nom);
        }
        while (chrono.elapsed() < (i + 1) * dureeDepotsMs / 30) {
            patienter(1000);
            versB.suivre(chrono.elapsed());
            versA.suivre(chrono.elapsed());
        }
    }
    while (chrono.elapsed() < dureeDepotsMs + attenteFinMs
           && !(QDir(versB.sortie).isEmpty(QDir::Files) && QDir(versA.sortie).isEmpty(QDir::Files))) {
        patienter(1000);
        versB.suivre(chrono.elapsed());
        versA.suivre(chrono.elapsed());
    }
    patienter(5000); // a last file being renamed into place
    const double secondes = double(chrono.elapsed()) / 1000.0;
    qint64 utiles = 0;
    for (Sens *sens : {&versB, &versA}) {
        const Bilan r = bilan(sens->envois, arrivees(sens->recus), sens->sortie);
        utiles += r.octetsLivres;
        const QByteArray nom = sens->nom.toUtf8();
        const char *n = nom.constData();
        std::printf("endurance_livres_%s: %d / %lld\n", n, r.livres, qlonglong(sens->envois.size()));
        std::printf("endurance_perdus_%s: %d\n", n, r.perdus);
        std::printf("endurance_abimes_%s: %d (petits sans contrôle : %d)\n", n, r.abimes, r.petitsAbimes);
        std::printf("endurance_doubles_%s: %d\n", n, r.doubles);
        std::printf("endurance_en_attente_%s: %d\n", n, r.enAttente);
        std::printf("endurance_attente_max_sans_livraison_s_%s: %.0f\n", n, double(sens->silenceMaxMs) / 1000.0);
    }
    std::printf("endurance_duree_s: %.0f\n", secondes);
    std::printf("endurance_octets_utiles_par_s: %.0f\n", double(utiles) / secondes);
    std::fflush(stdout);
    return 0;
}
