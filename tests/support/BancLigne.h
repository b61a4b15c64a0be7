#pragma once

#include "platform/Environnement.h"
#include "serial/FComm.h"
#include "tests/support/BoitesMessageScriptees.h"
#include "tests/support/DisqueSimule.h"
#include "tests/support/GestionPortsSimules.h"
#include "tests/support/PlateformeSimulee.h"
#include "tools/modem/LigneSimulee.h"

#include <QList>
#include <QStringList>

#include <functional>

// A test bench in virtual time: a simulated line whose end A is the port "COM1:" and whose
// end B is a scripted peer that records what it receives and can answer.
class BancLigne
{
public:
    explicit BancLigne(LigneSimulee::Reglages reglages = {});
    ~BancLigne();

    Environnement env() { return {plateforme, boites, ports, disque}; }

    // The peer sends bytes now, or after a delay in virtual time.
    void pairEnvoie(const QByteArray &octets, quint32 dansMs = 0);
    // Frames a text as the line driver does.
    static QByteArray trame(const QByteArray &texte);
    // What a station answers to a text it receives: link tests, file announcements, whole
    // files and parts acknowledged (the parts' keys unchecked); nothing to anything else.
    static QByteArray reponseDePoste(const QByteArray &texte);

    PlateformeSimulee plateforme;
    BoitesMessageScriptees boites;
    GestionPortsSimules ports;
    DisqueSimule disque;
    LigneSimulee ligne;

    QByteArray recuParLePair;
    // Framed texts the peer received whole, in order.
    QList<QByteArray> tramesRecues;
    // When set, answers each framed text the peer receives; an empty answer sends nothing.
    std::function<QByteArray(const QByteArray &)> repondeur;
    quint32 delaiReponseMs = 1;
    // Called for each block the peer receives, after it was recorded.
    std::function<void(const QByteArray &)> surReceptionPair;

private:
    void decouperTrames();
    QByteArray mEnCours;
};

// Records an FComm's notifications, in order, as readable lines.
class JournalFComm
{
public:
    explicit JournalFComm(FComm &comm);
    QStringList lignes;
    QList<QByteArray> receptions;
};

// A line driver alone on "COM1:" of a simulated line, its notifications recorded: the
// driver's own tests, with no station above it.
struct PiloteSurLigne
{
    explicit PiloteSurLigne(LigneSimulee::Reglages r = {}) : banc(r), comm(banc.env()), journal(comm)
    {
        comm.msNumPort = QStringLiteral("COM1:");
    }
    BancLigne banc;
    FComm comm;
    JournalFComm journal;
};
