// Production Ecrire over loopback TCP against a peer (another thread) that answers at once:
// the time from the answer leaving the peer to Ecrire returning, and the CPU used while
// Ecrire waits for an answer that never comes.
#include "platform/production/DisqueLocal.h"
#include "platform/CorrespondancePorts.h"
#include "platform/production/BoitesMessageConsole.h"
#include "platform/production/GestionPortsReels.h"
#include "platform/production/PlateformeQt.h"
#include "serial/FComm.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
using Horloge = std::chrono::steady_clock;

std::atomic<qint64> gReponsePartieNs{0};
std::atomic<bool> gRepondre{true};

qint64 maintenantNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Horloge::now().time_since_epoch()).count();
}

// Answers "OUI" (framed) to every framed message, as soon as the message is whole.
void pair(int ecoute)
{
    const int s = accept(ecoute, nullptr, nullptr);
    int un = 1;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &un, sizeof un);
    std::vector<unsigned char> tampon;
    unsigned char bloc[4096];
    for (;;) {
        const ssize_t n = read(s, bloc, sizeof bloc);
        if (n <= 0)
            break;
        tampon.insert(tampon.end(), bloc, bloc + n);
        while (tampon.size() >= 4) {
            const size_t longueur = size_t(tampon[1]) << 16 | size_t(tampon[2]) << 8 | tampon[3];
            if (tampon.size() < 4 + longueur)
                break;
            tampon.erase(tampon.begin(), tampon.begin() + long(4 + longueur));
            if (gRepondre) {
                static const char reponse[] = "\x02\0\0\3OUI";
                if (write(s, reponse, 7) != 7)
                    return;
                gReponsePartieNs = maintenantNs();
            }
        }
    }
    close(s);
}

double cpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int ecoute = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in adresse{};
    adresse.sin_family = AF_INET;
    adresse.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(ecoute, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse);
    socklen_t taille = sizeof adresse;
    getsockname(ecoute, reinterpret_cast<sockaddr *>(&adresse), &taille);
    listen(ecoute, 1);
    std::thread filPair(pair, ecoute);

    PlateformeQt plateforme;
    BoitesMessageConsole boites;
    CorrespondancePorts correspondance;
    correspondance.definir("TCP1:", QStringLiteral("127.0.0.1:%1").arg(ntohs(adresse.sin_port)));
    GestionPortsReels ports(plateforme, correspondance);
    DisqueLocal disque;
    FComm comm({plateforme, boites, ports, disque});
    comm.msNumPort = "TCP1:";
    if (!comm.Connecter())
        return 1;

    std::vector<double> latencesUs;
    for (int i = 0; i < 2000; ++i) {
        if (!comm.Ecrire("YAQUELQUUN?", "OUI", 2000))
            return 2;
        latencesUs.push_back(double(maintenantNs() - gReponsePartieNs) / 1000.0);
    }
    std::sort(latencesUs.begin(), latencesUs.end());
    std::printf("ecrire_latence_mediane_us: %.0f\n", latencesUs[latencesUs.size() / 2]);
    std::printf("ecrire_latence_p99_us: %.0f\n", latencesUs[latencesUs.size() * 99 / 100]);

    gRepondre = false;
    const double cpuAvant = cpuMs();
    const auto debut = Horloge::now();
    comm.Ecrire("YAQUELQUUN?", "OUI", 2000);
    const double murMs = std::chrono::duration<double, std::milli>(Horloge::now() - debut).count();
    std::printf("ecrire_attente_cpu_pct: %.2f\n", 100.0 * (cpuMs() - cpuAvant) / murMs);

    comm.Déconnecter();
    comm.Port.reset();
    shutdown(ecoute, SHUT_RDWR);
    close(ecoute);
    filPair.join();
    return 0;
}
