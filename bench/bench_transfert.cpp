// One station sends a 256 KiB file to the other through EnvoyerFichier, on a simulated line in
// virtual time: payload bytes per second divided by the line's capacity (baud / 10 bytes per
// second). Compression and disk work cost no virtual time; their real cost is given apart.
#include "bench/DonneesBench.h"
#include "platform/Zipper.h"
#include "tests/support/DeuxStationsSurCable.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {
double efficacite(const QByteArray &contenu, qint32 bauds, quint32 latenceMs, int tailleBloc = 16)
{
    DeuxStationsSurCable banc({.bauds = bauds, .latenceMs = latenceMs, .tailleBloc = tailleBloc, .decoupage = Decoupage::Blocs});
    banc.demarrer();
    const QString fichier = banc.a.chemin("envoi/fichier.dat");
    ecrireFichier(fichier, contenu);
    const qint64 debut = banc.plateforme.maintenantUs();
    if (!banc.a.poste->EnvoyerFichier(fichier) || banc.b.fichiersRecus.size() != 1
        || lireFichier(banc.b.fichiersRecus[0]) != contenu)
        return -1;
    const double secondes = double(banc.plateforme.maintenantUs() - debut) / 1e6;
    return double(contenu.size()) / secondes / (bauds / 10.0);
}

qint64 tailleParCommande(const QString &programme, const QStringList &arguments, const QByteArray &entree)
{
    if (QStandardPaths::findExecutable(programme).isEmpty())
        return -1;
    QProcess p;
    p.start(programme, arguments);
    p.write(entree);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return p.readAllStandardOutput().size();
}
}

int main()
{
    const QByteArray aleatoire = fichierAleatoire(), csv = fichierCsv();
    for (const auto &[nom, contenu] : {std::pair{"aleatoire", aleatoire}, std::pair{"csv", csv}})
        for (qint32 bauds : {38400, 115200})
            for (quint32 latence : {0u, 20u})
                std::printf("efficacite_%s_%d_%ums: %.3f\n", nom, bauds, latence, efficacite(contenu, bauds, latence));
    // The port handing every byte over alone: reassembling frames must cost nothing.
    std::printf("efficacite_aleatoire_115200_0ms_octet_par_octet: %.3f\n", efficacite(aleatoire, 115200, 0, 1));

    QTemporaryDir dossier;
    const auto compresser = [&](const QString &nom, const QByteArray &contenu) {
        const QString source = dossier.filePath(nom);
        ecrireFichier(source, contenu);
        Zipper z;
        z.setNomArchive(source + ".ZQZIP");
        z.Fichiers() << source;
        QString raison;
        QElapsedTimer chrono;
        chrono.start();
        z.Compresser(&raison);
        return std::pair{chrono.nsecsElapsed() / 1e6, QFileInfo(source + ".ZQZIP").size()};
    };
    const auto [msCsv, tailleZip] = compresser("ventes.csv", csv);
    const double msAleatoire = compresser("bruit.dat", aleatoire).first;
    std::printf("taille_csv: %lld\n", qint64(csv.size()));
    std::printf("taille_zip_csv: %lld\n", tailleZip);
    std::printf("taille_gzip9_csv: %lld\n", tailleParCommande("gzip", {"-9", "-c"}, csv));
    std::printf("taille_xz9_csv: %lld\n", tailleParCommande("xz", {"-9", "-c"}, csv));
    std::printf("compression_csv_ms: %.1f\n", msCsv);
    std::printf("compression_aleatoire_ms: %.1f\n", msAleatoire);
    return 0;
}
