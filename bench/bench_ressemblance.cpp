// Files that resemble files already exchanged, in real time over navette-modem at 115200 baud,
// between two stations that keep their memory and between two that do not (today's send):
// - a 512 KiB CSV file, then its next day's version (2 % of rows changed, 1 % appended);
// - 40 reports of 2 KiB of the same shape, dropped one by one: the last 20 count;
// - a 256 KiB random file.
// Bytes on the line are all the modem handed to both stations from the drop to the delivery
// (protocol included), beside bzip2 -9, xz -9e and zstd -19 --long of the file alone. Then a
// 100 MiB file against a 100 MiB reference both hold: the stations' resident memory over
// their idle level, and the longest step of coding and decoding it.
#include "bench/DeuxPostesReels.h"
#include "bench/DonneesBench.h"
#include "link/EmpreinteFichier.h"
#include "link/MemoireFichiers.h"
#include "link/shared/Decodeur.h"
#include "link/shared/Encodeur.h"
#include "platform/production/DisqueLocal.h"
#include "tests/support/StationSimulee.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <limits>
#include <random>

namespace {
// A day's sensor readings; the next day changes one row in `changees` and appends one in a hundred.
QByteArray releve(qint64 taille, int changees, bool lendemain, unsigned graine = 21)
{
    std::mt19937 base(graine), autre(graine + 1);
    QByteArray csv = "horodatage;capteur;temperature;humidite;pression\n";
    csv.reserve(taille + taille / 50);
    const auto ligne = [](std::mt19937 &r, qint64 i) {
        return "2026-12-" + QByteArray::number(1 + i / 1440 % 28).rightJustified(2, '0') + 'T'
            + QByteArray::number(i / 60 % 24).rightJustified(2, '0') + ':' + QByteArray::number(i % 60).rightJustified(2, '0')
            + ";capteur-" + QByteArray::number(i % 12) + ';' + QByteArray::number(15 + int(r() % 1000) / 100.0, 'f', 2) + ';'
            + QByteArray::number(40 + int(r() % 300) / 10.0, 'f', 1) + ';' + QByteArray::number(1000 + int(r() % 400) / 10.0, 'f', 1) + '\n';
    };
    qint64 i = 0;
    for (; csv.size() < taille; ++i) {
        const QByteArray l = ligne(base, i);
        csv += lendemain && autre() % changees == 0 ? ligne(autre, i) : l;
    }
    if (lendemain)
        for (const qint64 fin = i + i / 100; i < fin; ++i)
            csv += ligne(autre, i);
    return csv;
}

// A daily report of the same shape, other figures.
QByteArray rapport(int n)
{
    std::mt19937 r(1000 + n);
    QByteArray t = "RAPPORT JOURNALIER - STATION DE POMPAGE 12\nDate : 2026-11-" + QByteArray::number(1 + n % 28).rightJustified(2, '0')
        + "\nOperateur : equipe " + QByteArray::number(1 + n % 3) + "\n\nCapteur        Min      Max      Moyenne  Alarmes\n";
    for (int c = 0; t.size() < 1900; ++c)
        t += "POMPE-" + QByteArray::number(c).rightJustified(2, '0') + "       " + QByteArray::number(10 + int(r() % 500) / 10.0, 'f', 1).leftJustified(9)
            + QByteArray::number(60 + int(r() % 500) / 10.0, 'f', 1).leftJustified(9) + QByteArray::number(35 + int(r() % 300) / 10.0, 'f', 1).leftJustified(9)
            + QByteArray::number(r() % 4) + "\n";
    return t + "\nFin du rapport.\n";
}

qint64 seul(const QString &programme, const QStringList &options, const QByteArray &contenu)
{
    QProcess p;
    p.start(programme, options + QStringList{"-c"});
    p.write(contenu);
    p.closeWriteChannel();
    p.waitForFinished(600'000);
    return p.readAllStandardOutput().size();
}

struct Seuls
{
    qint64 bzip2, xz, zstd;
    qint64 meilleur() const { return std::min({bzip2, xz, zstd}); }
};
Seuls seuls(const QByteArray &contenu)
{
    return {seul("bzip2", {"-9"}, contenu), seul("xz", {"-9e"}, contenu), seul("zstd", {"-19", "--long", "-q"}, contenu)};
}

// Drops the file and counts what the modem handed both stations until it is delivered and
// the line is quiet again.
qint64 surLaLigne(DeuxPostesReels &paire, const QString &nom, const QByteArray &contenu)
{
    DeuxPostesReels::attendre([] { return false; }, 600);
    const auto [a0, b0] = paire.octetsRemis();
    if (paire.livrer(nom, contenu, 900'000) < 0) {
        std::fprintf(stderr, "%s n'est pas arrivé.\n", qPrintable(nom));
        return -1;
    }
    DeuxPostesReels::attendre([] { return false; }, 1'200);
    const auto [a1, b1] = paire.octetsRemis();
    QFile::remove(paire.chemin("Recus de B/" + nom.toUpper()));
    return (a1 - a0) + (b1 - b0);
}

qint64 memoireResidenteKio(qint64 pid, const char *champ)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &l : f.readAll().split('\n'))
        if (l.startsWith(champ))
            return l.mid(qstrlen(champ)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

struct Mesures
{
    qint64 csv = 0, rapports = 0, aleatoire = 0;
};

bool mesurer(const QByteArray &cles, quint16 port, const QByteArray &hier, const QByteArray &aujourdhui, Mesures &m)
{
    DeuxPostesReels paire({"--compter"}, port, cles);
    if (!paire.prets())
        return false;
    if (surLaLigne(paire, "RELEVE.CSV", hier) < 0 || (m.csv = surLaLigne(paire, "RELEVE.CSV", aujourdhui)) < 0)
        return false;
    for (int n = 0; n < 40; ++n) {
        const qint64 octets = surLaLigne(paire, QStringLiteral("RAPPORT%1.TXT").arg(n, 2, 10, QLatin1Char('0')), rapport(n));
        if (octets < 0)
            return false;
        if (n >= 20)
            m.rapports += octets;
    }
    return (m.aleatoire = surLaLigne(paire, "ALEATOIRE.BIN", fichierAleatoire())) >= 0;
}

// Both stations already hold the reference: planted in their memories as an exchange leaves it.
void planter(const QString &dossierPoste, const QString &reference, const QByteArray &sha, qint64 taille)
{
    const QString memoire = dossierPoste + "/Echanges";
    QDir().mkpath(memoire);
    QFile::copy(reference, memoire + "/" + sha);
    ecrireFichier(memoire + "/cle", "\n");
    ecrireFichier(memoire + "/index", sha + ' ' + QByteArray::number(taille) + " 1 " + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1()
                                          + ' ' + QByteArray("GROS.CSV").toHex() + '\n');
}

// The longest step of the coding and of the decoding, in ms.
std::pair<double, double> etapesMax(const QString &fichier, const QString &reference, const QString &dossier, qint64 taille)
{
    double code = 0, decode = 0;
    QElapsedTimer chrono;
    Encodeur e(MethodeCodage::Methode::Difference, fichier, dossier + "/charge", {reference});
    for (bool suite = true; suite;) {
        chrono.start();
        suite = e.etape();
        code = std::max(code, double(chrono.nsecsElapsed()) / 1e6);
    }
    QFile sortie(dossier + "/reconstitue");
    sortie.open(QIODevice::WriteOnly);
    Decodeur d(MethodeCodage::Methode::Difference, dossier + "/charge", taille, [&](const char *o, qint64 n) { return sortie.write(o, n) == n; }, {reference});
    for (bool suite = true; suite;) {
        chrono.start();
        suite = d.etape();
        decode = std::max(decode, double(chrono.nsecsElapsed()) / 1e6);
    }
    if (!d.reussi())
        std::fprintf(stderr, "Décodage du gros fichier : %s\n", qPrintable(d.erreur()));
    return {code, decode};
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QByteArray hier = releve(512 * 1024, 50, false), aujourdhui = releve(512 * 1024, 50, true);
    Mesures aujourdhuiSansMemoire, avecMemoire;
    if (!mesurer("MemoireFichiers=0\n", 49001, hier, aujourdhui, aujourdhuiSansMemoire) || !mesurer({}, 49101, hier, aujourdhui, avecMemoire))
        return 1;

    const Seuls csv = seuls(aujourdhui), hasard = seuls(fichierAleatoire());
    Seuls rapports{0, 0, 0};
    qint64 meilleursSeuls = 0, differences = 0;
    QTemporaryDir brouillon;
    for (int n = 0; n < 40; ++n)
        ecrireFichier(brouillon.filePath(QString::number(n)), rapport(n));
    QStringList contenu, echantillons;
    for (int n = 0; n < 8; ++n)
        (n < 4 ? contenu : echantillons) << brouillon.filePath(QString::number(n));
    const QByteArray tables = Encodeur::tables(contenu, echantillons);
    ecrireFichier(brouillon.filePath("tables"), tables);
    for (int n = 20; n < 40; ++n) {
        const Seuls s = seuls(rapport(n));
        rapports = {rapports.bzip2 + s.bzip2, rapports.xz + s.xz, rapports.zstd + s.zstd};
        meilleursSeuls += s.meilleur();
        // The difference the station makes: against the ten reports before, oldest first, with
        // or without the tables it learnt at the ninth report (the first four coded against the
        // next four), whichever is smaller.
        QStringList precedents;
        for (int k = n - 10; k < n; ++k)
            precedents << brouillon.filePath(QString::number(k));
        qint64 plusPetite = std::numeric_limits<qint64>::max();
        for (const auto &[methode, contre] : {std::pair{MethodeCodage::Methode::Difference, precedents},
                                              std::pair{MethodeCodage::Methode::Tables, QStringList{brouillon.filePath("tables")} + precedents}}) {
            Encodeur e(methode, brouillon.filePath(QString::number(n)), brouillon.filePath("charge"), contre);
            while (e.etape()) {
            }
            plusPetite = std::min(plusPetite, e.taille());
        }
        differences += plusPetite;
    }
    std::printf("ressemblance_csv_lendemain_octets: %lld (produit d'aujourd'hui : %lld ; seul : bzip2 -9 %lld, xz -9e %lld, zstd -19 %lld ; "
                "part du meilleur seul : %.3f)\n",
                avecMemoire.csv, aujourdhuiSansMemoire.csv, csv.bzip2, csv.xz, csv.zstd, double(avecMemoire.csv) / double(csv.meilleur()));
    std::printf("ressemblance_rapports_20_derniers_octets: %lld (produit d'aujourd'hui : %lld, part : %.3f ; seuls : bzip2 -9 %lld, xz -9e %lld, "
                "zstd -19 %lld)\n",
                avecMemoire.rapports, aujourdhuiSansMemoire.rapports, double(avecMemoire.rapports) / double(aujourdhuiSansMemoire.rapports),
                rapports.bzip2, rapports.xz, rapports.zstd);
    std::printf("ressemblance_rapports_20_derniers_compression: différences %lld octets pour %lld (%.2f fois), meilleur seul par fichier %lld "
                "(%.2f fois) : %.2f fois mieux\n",
                differences, qint64(20 * rapport(0).size()), double(20 * rapport(0).size()) / double(differences), meilleursSeuls,
                double(20 * rapport(0).size()) / double(meilleursSeuls), double(meilleursSeuls) / double(differences));
    std::printf("ressemblance_rapports_tables: %lld octets, appris au neuvième rapport et envoyés une fois\n", qint64(tables.size()));
    std::printf("ressemblance_aleatoire_octets: %lld (produit d'aujourd'hui : %lld, rapport : %.4f ; seul : bzip2 -9 %lld, xz -9e %lld, zstd -19 %lld)\n",
                avecMemoire.aleatoire, aujourdhuiSansMemoire.aleatoire, double(avecMemoire.aleatoire) / double(aujourdhuiSansMemoire.aleatoire),
                hasard.bzip2, hasard.xz, hasard.zstd);

    // 100 MiB against 100 MiB.
    QTemporaryDir gros;
    const qint64 taille = qint64(100) << 20;
    const QByteArray reference = releve(taille, 1000, false), nouveau = releve(taille, 1000, true);
    ecrireFichier(gros.filePath("reference"), reference);
    ecrireFichier(gros.filePath("nouveau"), nouveau);
    const auto [code, decode] = etapesMax(gros.filePath("nouveau"), gros.filePath("reference"), gros.path(), nouveau.size());
    // The SHA-256 read again at an offer, and the copy kept in the memory: between pieces.
    QElapsedTimer entre;
    double empreinte = 0, copieMemoire = 0;
    const auto mesurer = [&](double &plusLongue) {
        return [&] {
            plusLongue = std::max(plusLongue, double(entre.nsecsElapsed()) / 1e6);
            entre.start();
            return true;
        };
    };
    QFile lu(gros.filePath("nouveau"));
    QByteArray shaNouveau;
    entre.start();
    if (!lu.open(QIODevice::ReadOnly) || EmpreinteFichier::calculer(lu, mesurer(empreinte), shaNouveau) != EmpreinteFichier::Issue::Faite)
        std::fprintf(stderr, "Empreinte du gros fichier illisible.\n");
    DisqueLocal disque;
    MemoireFichiers memoire(disque, gros.filePath("Echanges"), qint64(256) << 20, {});
    ErreurDisque erreur;
    entre.start();
    if (!memoire.retenir(gros.filePath("nouveau"), {shaNouveau, nouveau.size(), "GROS.CSV", QDateTime::currentDateTime()}, erreur, mesurer(copieMemoire)))
        std::fprintf(stderr, "Copie en mémoire : %s\n", qPrintable(erreur.texte));
    copieMemoire = std::max(copieMemoire, double(entre.nsecsElapsed()) / 1e6); // the last piece, synced and named
    std::printf("ressemblance_100Mio_etape_max_ms: codage %.0f, décodage %.0f, empreinte %.0f, copie en mémoire %.0f\n", code, decode,
                empreinte, copieMemoire);
    DeuxPostesReels paire({"--compter"}, 49201, {});
    const QByteArray sha = QCryptographicHash::hash(reference, QCryptographicHash::Sha256).toHex();
    planter(paire.chemin("Travail/Port A"), gros.filePath("reference"), sha, reference.size());
    planter(paire.chemin("Travail/Port B"), gros.filePath("reference"), sha, reference.size());
    if (!paire.prets())
        return 1;
    const qint64 repos[2] = {memoireResidenteKio(paire.pid(true), "VmRSS:"), memoireResidenteKio(paire.pid(false), "VmRSS:")};
    qint64 pics[2] = {repos[0], repos[1]};
    const QByteArray copie = nouveau;
    ecrireFichier(paire.chemin("GROS.CSV"), copie);
    QElapsedTimer chrono;
    chrono.start();
    QFile::rename(paire.chemin("GROS.CSV"), paire.chemin("Envois à A/GROS.CSV"));
    const QString recu = paire.chemin("Recus de B/GROS.CSV");
    const auto [a0, b0] = paire.octetsRemis();
    const bool arrive = DeuxPostesReels::attendre(
        [&] {
            for (int i = 0; i < 2; ++i)
                pics[i] = std::max(pics[i], memoireResidenteKio(paire.pid(i == 0), "VmRSS:"));
            return QFileInfo(recu).size() == copie.size();
        },
        1'800'000);
    const auto [a1, b1] = paire.octetsRemis();
    if (!arrive || lireFichier(recu) != copie) {
        std::fprintf(stderr, "Le fichier de 100 Mio n'est pas arrivé entier.\n");
        return 1;
    }
    std::printf("ressemblance_100Mio_memoire_residente_en_plus_Mio: expediteur %.1f, destinataire %.1f (au repos : %.1f et %.1f ; %lld octets sur la "
                "ligne, %.0f s)\n",
                double(pics[0] - repos[0]) / 1024, double(pics[1] - repos[1]) / 1024, double(repos[0]) / 1024, double(repos[1]) / 1024,
                (a1 - a0) + (b1 - b0), double(chrono.elapsed()) / 1000);
    return 0;
}
