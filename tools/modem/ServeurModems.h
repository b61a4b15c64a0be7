#pragma once

#include "tools/modem/CentralTelephonique.h"
#include "tools/modem/LigneSimulee.h"
#include "tools/modem/ModemHayes.h"

#include <QObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <memory>
#include <vector>

class Plateforme;

struct OptionsServeur
{
    quint16 premierPort = 7001;
    int modems = 2;
    bool direct = false; // null-modem cables: ports paired 1-2, 3-4, ..., no AT handling
    bool compter = false; // says every quarter second, when it changed, what each port was handed
    ReglagesModem modele;
};

// Emulated modems (or cables) offered on loopback TCP ports: modem k listens on
// 127.0.0.1 port premierPort + k - 1 and answers to the telephone number k. One computer at a
// time per port; when it disconnects, the modem sees DTR drop.
class ServeurModems
{
public:
    ServeurModems(Plateforme &plateforme, OptionsServeur options);
    ~ServeurModems();
    // Returns "" or a French reason why a port could not be listened on.
    QString demarrer();

    // The first of `nombre` consecutive loopback ports free from `depuis` on (0: none).
    static quint16 premierPortLibre(int nombre, quint16 depuis);

    std::function<void(const QString &)> journal;

    // What a port may have on its way (on the line, and unread by either computer) before its
    // computer's socket is read again: a peer that does not read slows the sender down
    // through TCP's own flow control, and memory stays bounded.
    static constexpr qint64 attenteMax = 64 * 1024;
    qint64 octetsEnAttente() const;

private:
    struct Poste
    {
        int numero = 0;
        QTcpServer serveur;
        QTcpSocket *client = nullptr;
        std::unique_ptr<ModemHayes> modem;
        LigneSimulee::Extremite *cable = nullptr; // direct mode: this port's end of the cable
        qint64 remis = 0; // bytes handed to its computer
    };

    void accepter(Poste &poste);
    void lire(Poste &poste);
    qint64 enAttente(const Poste &poste) const;
    const Poste *posteDe(const ModemHayes *modem) const;
    void versClient(Poste &poste, const QByteArray &octets);
    void noter(const QString &texte);

    Plateforme &mPlateforme;
    OptionsServeur mOptions;
    CentralTelephonique mCentral;
    std::vector<std::unique_ptr<Poste>> mPostes;
    std::vector<std::unique_ptr<LigneSimulee>> mCables;
    QTimer mRelance; // reads again what was left waiting for room
    QTimer mCompteur;
    QString mDernierCompte;
};
