// Two windowless stations in real time over navette-modem at 115200 baud, for each way the
// stations are configured: a 256 KiB random file, then the CSV file, dropped into A's outgoing
// folder at a one-way line delay of 0, 20 and 100 ms; then the random file at 20 ms with one
// byte in 10,000 altered; then the time the random file takes to arrive when the carrier is
// lost every 15 s, less than the file's 23 s of line time. Efficiency is file bytes over
// (seconds from drop to delivery x 11,520). Both ways: the random file queued on both sides
// at once, at 0 and 20 ms, its time over the time of one alone; and a steady load, 2 KB
// dropped every second on both sides for 5 minutes at 20 ms. With a configuration's name,
// only that one runs.
#include "bench/DeuxPostesReels.h"
#include "bench/DonneesBench.h"

#include <QCoreApplication>

#include <cstdio>

namespace {
void afficher(const char *mesure, const char *configuration, double secondes, qsizetype octets)
{
    if (secondes < 0)
        std::printf("ligne_%s_%s: non livré\n", mesure, configuration);
    else
        std::printf("ligne_%s_%s: %.3f (%.1f s)\n", mesure, configuration, double(octets) / (secondes * 11520.0), secondes);
    std::fflush(stdout);
}

const QByteArray &aleatoire()
{
    static const QByteArray contenu = fichierAleatoire();
    return contenu;
}
const QByteArray &csv()
{
    static const QByteArray contenu = fichierCsv();
    return contenu;
}
quint16 prochainPort()
{
    static quint16 port = 48001;
    return port += 10;
}

bool delais(const char *configuration, const QByteArray &cles)
{
    for (const int latence : {0, 20, 100}) {
        const DeuxPostesReels postes({"--latence", QString::number(latence)}, prochainPort(), cles);
        if (!postes.prets())
            return false;
        for (const auto &[nom, contenu] : {std::pair{"aleatoire", aleatoire()}, std::pair{"csv", csv()}}) {
            const QString fichier = QStringLiteral("%1-%2ms.dat").arg(QString::fromLatin1(nom)).arg(latence);
            const QByteArray mesure = QStringLiteral("efficacite_%1_%2ms").arg(QString::fromLatin1(nom)).arg(latence).toUtf8();
            afficher(mesure.constData(), configuration, postes.livrer(fichier, contenu, 600'000), contenu.size());
        }
    }
    return true;
}

// Both ways at once: one file alone, then the same file queued on both sides together.
bool deuxSens(const char *configuration, const QByteArray &cles)
{
    for (const int latence : {0, 20}) {
        const DeuxPostesReels postes({"--latence", QString::number(latence)}, prochainPort(), cles);
        if (!postes.prets())
            return false;
        const double seul = postes.livrer(QStringLiteral("seul-%1ms.dat").arg(latence), aleatoire(), 600'000);
        const double deux = postes.croiser(QStringLiteral("deux-%1ms.dat").arg(latence), aleatoire(), 600'000);
        if (seul < 0 || deux < 0)
            std::printf("ligne_deux_sens_aleatoire_%dms_%s: non livré\n", latence, configuration);
        else
            std::printf("ligne_deux_sens_aleatoire_%dms_%s: %.2f (les deux %.1f s, un seul %.1f s)\n", latence, configuration,
                        deux / seul, deux, seul);
        std::fflush(stdout);
    }
    return true;
}

bool charge(const char *configuration, const QByteArray &cles)
{
    const DeuxPostesReels postes({"--latence", "20"}, prochainPort(), cles);
    if (!postes.prets())
        return false;
    const auto [deA, deB] = postes.chargeReguliere([](int i) { return csv().mid((i * 2048) % (csv().size() - 2048), 2048); }, 300);
    for (const auto &[sens, b] : {std::pair{"A_vers_B", deA}, std::pair{"B_vers_A", deB}})
        std::printf("ligne_charge_2Ko_par_s_%s_%s: %d livrés sur %d, attente la plus longue %.1f s, %d restés\n", sens,
                    configuration, b.livres, b.deposes, b.attenteMaxS, b.restes);
    std::fflush(stdout);
    return true;
}

bool bruit(const char *configuration, const QByteArray &cles)
{
    const DeuxPostesReels postes({"--latence", "20", "--bruit", "0.0001"}, prochainPort(), cles);
    if (!postes.prets())
        return false;
    afficher("efficacite_aleatoire_20ms_bruit_1e-4", configuration, postes.livrer("bruit.dat", aleatoire(), 600'000), aleatoire().size());
    return true;
}

bool coupure(const char *configuration, const QByteArray &cles)
{
    const DeuxPostesReels postes({"--coupure-apres", "15"}, prochainPort(), cles);
    if (!postes.prets())
        return false;
    const double secondes = postes.livrer("coupures.dat", aleatoire(), 600'000);
    if (secondes < 0)
        std::printf("ligne_livraison_s_aleatoire_coupure_15s_%s: non livré en 600 s\n", configuration);
    else
        std::printf("ligne_livraison_s_aleatoire_coupure_15s_%s: %.1f\n", configuration, secondes);
    std::fflush(stdout);
    return true;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // Each configuration: its name in the figures, and the keys both stations get.
    QList<std::pair<const char *, QByteArray>> configurations = {{"avec_extension", "ProtocoleEtendu=1\n"},
                                                                 {"chiffre", "ProtocoleEtendu=1\nCleDistante=@\n"},
                                                                 {"sans_extension", "ProtocoleEtendu=0\n"}};
    // One configuration only when named, and one part when named too:
    // bench_ligne avec_extension [delais|deux_sens|charge|bruit|coupure]; "chiffre": the
    // extension between two stations that pin each other's key, every frame sealed
    if (argc > 1)
        configurations.removeIf([&](const auto &c) { return QByteArray(c.first) != argv[1]; });
    const std::pair<const char *, bool (*)(const char *, const QByteArray &)> parties[] = {
        {"delais", delais}, {"deux_sens", deuxSens}, {"charge", charge}, {"bruit", bruit}, {"coupure", coupure}};
    for (const auto &[configuration, cles] : configurations)
        for (const auto &[nom, mesurer] : parties)
            if ((argc <= 2 || QByteArray(argv[2]) == nom) && !mesurer(configuration, cles))
                return 1;
    return 0;
}
