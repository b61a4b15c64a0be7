// One station sends a 256 KiB file to the other through EnvoyerFichier, on a simulated line in
// virtual time: payload bytes per second divided by the line's capacity (baud / 10 bytes per
// second). Compression and disk work cost no virtual time; their real cost is given apart.
#include "BancDeuxPostes.h"
#include "Zipper.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <random>

namespace {
QByteArray fichierAleatoire()
{
    std::mt19937 alea(11);
    QByteArray o(256 * 1024, Qt::Uninitialized);
    for (char &c : o)
        c = char(alea());
    return o;
}

// Rows as a station exports them: date, site code, product code, quantity, amount.
QByteArray fichierCsv()
{
    std::mt19937 alea(12);
    QByteArray o = "date;site;produit;quantite;montant\r\n";
    int jour = 1;
    while (o.size() < 256 * 1024) {
        if (alea() % 40 == 0)
            jour = jour % 28 + 1;
        o += QByteArray::number(jour).rightJustified(2, '0') + "/03/2026;S" + QByteArray::number(100 + alea() % 40) + ";P"
            + QByteArray::number(alea() % 2000).rightJustified(5, '0') + ";" + QByteArray::number(1 + alea() % 500) + ";"
            + QByteArray::number(alea() % 100000) + "," + QByteArray::number(alea() % 100).rightJustified(2, '0') + "\r\n";
    }
    o.truncate(256 * 1024);
    return o;
}

double efficacite(const QByteArray &contenu, qint32 bauds, quint32 latenceMs, int tailleBloc = 16)
{
    BancDeuxPostes banc({.bauds = bauds, .latenceMs = latenceMs, .tailleBloc = tailleBloc, .decoupage = Decoupage::Blocs});
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
    const QString source = dossier.filePath("ventes.csv");
    ecrireFichier(source, csv);
    Zipper z;
    z.setNomArchive(source + ".ZQZIP");
    z.Fichiers() << source;
    QString raison;
    QElapsedTimer chrono;
    chrono.start();
    z.Compresser(raison);
    const qint64 ms = chrono.elapsed();
    std::printf("taille_csv: %lld\n", qint64(csv.size()));
    std::printf("taille_zip_csv: %lld\n", QFileInfo(source + ".ZQZIP").size());
    std::printf("taille_gzip9_csv: %lld\n", tailleParCommande("gzip", {"-9", "-c"}, csv));
    std::printf("taille_xz9_csv: %lld\n", tailleParCommande("xz", {"-9", "-c"}, csv));
    std::printf("compression_csv_ms: %lld\n", ms);
    return 0;
}
