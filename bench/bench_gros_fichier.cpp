// A 100 MiB file between two of our stations on a simulated 115200-baud line, in virtual time:
// whether it arrives whole, and the peak resident memory of the process, which holds both
// stations. Neither side keeps the file in memory, so the peak stays far below the file.
// Also the real time the sender's compression takes, during which its one thread answers nothing.
#include "platform/Zipper.h"
#include "tests/support/DeuxStationsSurCable.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>

#include <sys/resource.h>

#include <cstdio>
#include <random>

namespace {
QByteArray ecrireAleatoire(const QString &chemin, qint64 taille)
{
    std::mt19937_64 alea(3);
    QFile f(chemin);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    QByteArray bloc(1 << 20, Qt::Uninitialized);
    for (qint64 ecrit = 0; ecrit < taille; ecrit += bloc.size()) {
        for (qsizetype i = 0; i + 8 <= bloc.size(); i += 8) {
            const quint64 v = alea();
            memcpy(bloc.data() + i, &v, 8);
        }
        f.write(bloc);
        sha.addData(bloc);
    }
    return sha.result();
}

QByteArray empreinte(const QString &chemin)
{
    QFile f(chemin);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    return f.open(QIODevice::ReadOnly) && sha.addData(&f) ? sha.result() : QByteArray();
}

long memoireMaxMo()
{
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return r.ru_maxrss / 1024;
}
}

int main()
{
    constexpr qint64 taille = 100LL << 20;
    DeuxStationsSurCable banc({.bauds = 115200, .tailleBloc = 4096, .decoupage = Decoupage::Blocs});
    banc.a.garderTrames = banc.b.garderTrames = false;
    banc.demarrer();
    banc.a.poste->TesterConnexion(true);
    banc.b.poste->TesterConnexion(true);
    banc.plateforme.avancer(200);
    const QString fichier = banc.a.chemin("envoi/gros.dat");
    const QByteArray attendu = ecrireAleatoire(fichier, taille);
    const long avant = memoireMaxMo();
    QElapsedTimer chrono;
    chrono.start();
    const qint64 debutUs = banc.plateforme.maintenantUs();
    const bool livre = banc.a.poste->EnvoyerFichier(fichier) && banc.b.fichiersRecus.size() == 1
        && empreinte(banc.b.fichiersRecus[0]) == attendu;
    const double envoiS = double(chrono.nsecsElapsed()) / 1e9;
    const long pic = memoireMaxMo();
    // Apart, after the send, so that the memory figures are the stations' own.
    QElapsedTimer compression;
    compression.start();
    Zipper z;
    z.setNomArchive(banc.a.chemin("essai.zip"));
    z.Fichiers() << fichier;
    z.Compresser();
    const double compressionS = double(compression.nsecsElapsed()) / 1e9;
    QFile::remove(z.NomArchive());
    std::printf("gros_fichier_100Mio_livre: %s\n", livre ? "oui" : "non");
    std::printf("gros_fichier_100Mio_efficacite: %.3f\n",
                double(taille) / (double(banc.plateforme.maintenantUs() - debutUs) / 1e6) / 11520.0);
    std::printf("gros_fichier_100Mio_memoire_max_mo: %ld (avant l'envoi : %ld)\n", pic, avant);
    std::printf("gros_fichier_100Mio_secondes_reelles: %.1f\n", envoiS);
    std::printf("gros_fichier_100Mio_compression_s: %.1f\n", compressionS);
    if (!livre) {
        for (const auto *poste : {&banc.a, &banc.b})
            for (const QString &ligne : poste->informations.mid(std::max<qsizetype>(0, poste->informations.size() - 15)))
                std::printf("  %s %s\n", poste == &banc.a ? "A" : "B", qPrintable(ligne));
    }
    return livre ? 0 : 1;
}
