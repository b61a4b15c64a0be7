// Ports on a serial device server: the Telnet COM-PORT-OPTION client against a scripted server,
// byte by byte (no clock involved), then the whole driver over loopback.
#include "platform/CorrespondancePorts.h"
#include "platform/production/DisqueLocal.h"
#include "platform/production/GestionPortsReels.h"
#include "platform/production/PlateformeQt.h"
#include "platform/production/Rfc2217.h"
#include "serial/FComm.h"
#include "tests/support/BoitesMessageScriptees.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {
using R = Rfc2217;

QByteArray octets(std::initializer_list<int> liste)
{
    QByteArray b;
    for (int o : liste)
        b.append(char(o));
    return b;
}

// The server's reading of what the client sent: its data, its option verbs, its COM-PORT
// commands as (code, value).
struct LectureServeur
{
    QByteArray donnees;
    QList<QByteArray> verbes;
    QList<QPair<int, QByteArray>> commandes;

    QByteArray reste; // an element cut between two reads

    void lire(const QByteArray &arrives)
    {
        reste += arrives;
        qsizetype i = 0;
        while (i < reste.size()) {
            const quint8 o = quint8(reste[i]);
            if (o != R::IAC) {
                donnees.append(reste[i++]);
                continue;
            }
            if (i + 1 >= reste.size())
                break;
            const quint8 suivant = quint8(reste[i + 1]);
            if (suivant == R::IAC) {
                donnees.append(reste[i + 1]);
                i += 2;
            } else if (suivant == R::SB) {
                const qsizetype fin = reste.indexOf(octets({R::IAC, R::SE}), i + 2);
                if (fin < 0)
                    break;
                const QByteArray sous = reste.mid(i + 2, fin - i - 2).replace("\xFF\xFF", "\xFF");
                QCOMPARE(quint8(sous[0]), R::PORT_COM);
                commandes.append({int(quint8(sous[1])), sous.mid(2)});
                i = fin + 2;
            } else {
                if (i + 2 >= reste.size())
                    break;
                verbes.append(reste.mid(i, 3));
                i += 3;
            }
        }
        reste.remove(0, i);
    }
};

QByteArray notification(int etat)
{
    return octets({R::IAC, R::SB, R::PORT_COM, R::NOTIFICATION_MODEM, etat, R::IAC, R::SE});
}

QByteArray ouvert(R &client)
{
    client.ouverture();
    return client.lire(octets({R::IAC, R::DO, R::PORT_COM, R::IAC, R::DO, R::BINAIRE, R::IAC, R::WILL, R::BINAIRE}))
        .reponse;
}
}

class TstRfc2217 : public QObject
{
    Q_OBJECT

private slots:
    void reglagesDeLaLigne_data()
    {
        QTest::addColumn<int>("bauds");
        QTest::addColumn<QString>("parite");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("arret");
        QTest::addColumn<QByteArray>("vitesse");
        QTest::addColumn<int>("codeParite");
        QTest::newRow("38400 n 8 1") << 38400 << "N" << 8 << 1 << octets({0, 0, 0x96, 0}) << 1;
        QTest::newRow("115200 e 7 2") << 115200 << "E" << 7 << 2 << octets({0, 1, 0xC2, 0}) << 3;
        QTest::newRow("9600 o 8 1") << 9600 << "O" << 8 << 1 << octets({0, 0, 0x25, 0x80}) << 2;
        QTest::newRow("0xFF dans la vitesse") << 65535 << "S" << 8 << 1 << octets({0, 0, 0xFF, 0xFF}) << 5;
    }

    void reglagesDeLaLigne()
    {
        QFETCH(int, bauds);
        QFETCH(QString, parite);
        QFETCH(int, bits);
        QFETCH(int, arret);
        QFETCH(QByteArray, vitesse);
        QFETCH(int, codeParite);
        R client({bauds, parite.at(0).toLatin1(), bits, arret});
        LectureServeur serveur;
        serveur.lire(client.ouverture());
        QVERIFY(serveur.verbes.contains(octets({R::IAC, R::WILL, R::PORT_COM})));
        QVERIFY(serveur.commandes.isEmpty()); // nothing before the server accepts the option
        QVERIFY(!client.negocie());

        serveur.lire(ouvert(client));
        QVERIFY(client.portComAccepte());
        const QList<QPair<int, QByteArray>> attendu{
            {1, vitesse},        {2, octets({bits})}, {3, octets({codeParite})}, {4, octets({arret})},
            {5, octets({1})},    {5, octets({8})},    {5, octets({11})},          {11, octets({0x88})}};
        QCOMPARE(serveur.commandes, attendu);

        // The server's echo of a setting, said twice: nothing sent again.
        QVERIFY(client.lire(octets({R::IAC, R::DO, R::PORT_COM, R::IAC, R::SB, R::PORT_COM, 101, 0, 1, 0xC2, 0, R::IAC, R::SE}))
                    .reponse.isEmpty());
        serveur.commandes.clear();
        serveur.lire(client.dtr(false) + client.viderEmission());
        QCOMPARE(serveur.commandes, (QList<QPair<int, QByteArray>>{{5, octets({9})}, {12, octets({2})}}));
    }

    void donneesTransparentes_data()
    {
        QTest::addColumn<bool>("binaire");
        QTest::newRow("binaire") << true;
        QTest::newRow("texte (binaire refusé)") << false;
    }

    void donneesTransparentes()
    {
        // Every byte value, 0xFF in runs and CR before NUL, cut at every place between two reads.
        QFETCH(bool, binaire);
        QByteArray tous;
        for (int i = 0; i < 256; ++i)
            tous.append(char(i));
        tous += QByteArray(5, '\xFF') + "\r\n\r" + QByteArray(1, '\0') + "\r";

        R client({});
        client.ouverture();
        const quint8 accord = binaire ? R::DO : R::DONT, accordRecu = binaire ? R::WILL : R::WONT;
        QVERIFY(client.lire(octets({R::IAC, accord, R::BINAIRE, R::IAC, accordRecu, R::BINAIRE})).reponse.isEmpty());
        LectureServeur serveur;
        serveur.lire(client.coder(tous));
        QByteArray attenduServeur = tous;
        if (!binaire)
            attenduServeur.replace("\r", QByteArray("\r\0", 2));
        QCOMPARE(serveur.donnees, attenduServeur);

        QByteArray duServeur = tous;
        duServeur.replace("\xFF", "\xFF\xFF");
        if (!binaire)
            duServeur.replace("\r", QByteArray("\r\0", 2));
        duServeur += notification(0); // a notification in the stream is not data
        for (qsizetype coupure = 0; coupure <= duServeur.size(); ++coupure) {
            R lecteur({});
            lecteur.ouverture();
            lecteur.lire(octets({R::IAC, accordRecu, R::BINAIRE}));
            QByteArray recu = lecteur.lire(duServeur.left(coupure)).donnees;
            recu += lecteur.lire(duServeur.mid(coupure)).donnees;
            if (recu != tous)
                QFAIL(qPrintable(QStringLiteral("coupure à %1 : %2").arg(coupure).arg(QString::fromLatin1(recu.toHex()))));
        }
    }

    void optionsRefuseesOuInconnues()
    {
        R client({});
        client.ouverture();
        // A plain Telnet server: the option refused, its own proposals refused in turn.
        const R::Lu lu = client.lire(octets({R::IAC, R::DONT, R::PORT_COM, R::IAC, R::DO, 24, R::IAC, R::WILL, 1, 'O', 'K'}));
        QVERIFY(client.negocie());
        QVERIFY(!client.portComAccepte());
        QCOMPARE(lu.reponse, octets({R::IAC, R::WONT, 24, R::IAC, R::DONT, 1}));
        QCOMPARE(lu.donnees, QByteArray("OK"));
        QVERIFY(client.dtr(false).isEmpty());
        QVERIFY(client.viderEmission().isEmpty());
        // A refusal is not answered: no loop of refusals.
        QVERIFY(client.lire(octets({R::IAC, R::WONT, 24, R::IAC, R::DONT, 1})).reponse.isEmpty());
    }

    void porteuse_data()
    {
        // The server's word on the carrier goes beside the data, never into it: a "NO CARRIER"
        // in the data is the data's.
        QTest::addColumn<QList<QByteArray>>("lectures");
        QTest::addColumn<int>("finsDePorteuse");
        const QByteArray haute = notification(0x80), basse = notification(0x08);
        QTest::newRow("monte puis tombe") << QList<QByteArray>{haute, "CONNECT 115200\r\n", basse} << 1;
        QTest::newRow("jamais montée") << QList<QByteArray>{basse, basse} << 0;
        QTest::newRow("un texte NO CARRIER dans les données")
            << QList<QByteArray>{haute, "\r\nNO CARRIER\r\n", basse} << 1;
        QTest::newRow("notification coupée en deux")
            << QList<QByteArray>{haute, "x", basse.left(4), basse.mid(4)} << 1;
        QTest::newRow("deux appels") << QList<QByteArray>{haute, basse, "RING\r\nCONNECT\r\n", haute, basse} << 2;
    }

    void porteuse()
    {
        QFETCH(QList<QByteArray>, lectures);
        QFETCH(int, finsDePorteuse);
        R client({});
        ouvert(client);
        QByteArray recu, envoye;
        int chutes = 0;
        for (const QByteArray &l : lectures) {
            const R::Lu lu = client.lire(l);
            recu += lu.donnees;
            chutes += lu.porteuseTombee;
            envoye += l;
        }
        QCOMPARE(chutes, finsDePorteuse);
        QCOMPARE(int(recu.count("NO CARRIER")), int(envoye.count("NO CARRIER")));
    }

    // The driver on a scripted server over loopback: the line set at the opening, a carrier
    // that falls during a wait ends it, the closing drops DTR, a server that goes is reported
    // (the same path as a raw TCP port's).
    void piloteSurUnServeurScripte()
    {
        PlateformeQt plateforme;
        BoitesMessageScriptees boites;
        QTcpServer serveur;
        QVERIFY(serveur.listen(QHostAddress::LocalHost));
        CorrespondancePorts c;
        QVERIFY(c.definir("COM3:", QStringLiteral("rfc2217://127.0.0.1:%1").arg(serveur.serverPort())).isEmpty());
        GestionPortsReels gestion(plateforme, c);
        DisqueLocal disque;
        FComm comm({plateforme, boites, gestion, disque});
        comm.msNumPort = "COM3:";
        comm.msSettings = "115200,e,7,2";

        QTcpSocket *pair = nullptr;
        LectureServeur lu;
        QObject::connect(&serveur, &QTcpServer::newConnection, [&] {
            pair = serveur.nextPendingConnection();
            QObject::connect(pair, &QTcpSocket::readyRead, [&] {
                lu.lire(pair->readAll());
                if (lu.verbes.contains(octets({R::IAC, R::WILL, R::PORT_COM}))) {
                    pair->write(octets({R::IAC, R::DO, R::PORT_COM, R::IAC, R::DO, R::BINAIRE, R::IAC, R::WILL, R::BINAIRE}));
                    lu.verbes.clear();
                }
                if (lu.donnees.endsWith("CLK")) {
                    pair->write(notification(0x80) + QByteArray("\x02\0\0\4\xFF\xFFOK", 8).replace("\xFF", "\xFF\xFF"));
                    lu.donnees.clear();
                }
                if (lu.donnees.endsWith("YAQUELQUUN?"))
                    pair->write(QByteArray("\x02\0\0\x20OUI..", 9) + notification(0x08)); // cut mid-frame
            });
        });
        QVERIFY(comm.Connecter());
        QTRY_COMPARE(lu.commandes.size(), 8);
        QCOMPARE(lu.commandes.value(0), (QPair<int, QByteArray>(1, octets({0, 1, 0xC2, 0}))));
        QCOMPARE(lu.commandes.value(2), (QPair<int, QByteArray>(3, octets({3}))));
        QByteArray reponse;
        QVERIFY(comm.Ecrire("CLK", "\xFF", 2000, true, &reponse));
        QCOMPARE(reponse, QByteArray("\xFF\xFFOK"));

        QList<bool> etats;
        comm.ModemEtatConnexion.connecter([&](bool connecte) { etats << connecte; });
        QVERIFY(!comm.Ecrire("YAQUELQUUN?", "OUI", 5000, true));
        QCOMPARE(etats, QList<bool>{false});

        lu.commandes.clear();
        comm.Déconnecter();
        QTRY_VERIFY(lu.commandes.contains(QPair<int, QByteArray>(5, octets({9}))));

        // Opened again, then the server goes away: a vanished port, reported.
        QVERIFY(comm.Connecter());
        QStringList erreurs;
        comm.Erreur.connecter([&](const QString &e) { erreurs << e; });
        pair->disconnectFromHost();
        QTRY_COMPARE(erreurs.size(), 1);
        QVERIFY(erreurs[0].contains(QStringLiteral("fermée")));
        QVERIFY(!comm.Port->Actif());
        QVERIFY(boites.boites.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstRfc2217)
#include "tst_rfc2217.moc"
