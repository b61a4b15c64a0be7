// The production side of the serial-port component: a pseudo-terminal pair standing in for a
// cable, and loopback TCP. These wait on real I/O, bounded by the driver's own time-outs.
#include "platform/production/DisqueLocal.h"
#include "platform/CorrespondancePorts.h"
#include "platform/FichierIni.h"
#include "platform/production/GestionPortsReels.h"
#include "platform/production/PlateformeQt.h"
#include "serial/FComm.h"
#include "tests/support/BoitesMessageScriptees.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

class TstPortsReels : public QObject
{
    Q_OBJECT

    PlateformeQt plateforme;
    BoitesMessageScriptees boites;
    CorrespondancePorts correspondance;
    GestionPortsReels ports{plateforme, correspondance};
    DisqueLocal disque;

    Environnement env() { return {plateforme, boites, ports, disque}; }

private slots:
    void correspondanceDesNoms_data()
    {
        QTest::addColumn<QString>("nom");
        QTest::addColumn<int>("genre");
        QTest::addColumn<QString>("cible");
        QTest::newRow("COM1:") << "COM1:" << int(DestinationPort::Serie) << "/dev/ttyS0";
        QTest::newRow("com3 sans deux-points") << " com3 " << int(DestinationPort::Serie) << "/dev/ttyS2";
        QTest::newRow("TCP1:") << "TCP1:" << int(DestinationPort::Tcp) << "127.0.0.1:7001";
        QTest::newRow("TCP16:") << "Tcp16:" << int(DestinationPort::Tcp) << "127.0.0.1:7016";
        QTest::newRow("chemin") << "/dev/ttyUSB0" << int(DestinationPort::Serie) << "/dev/ttyUSB0";
        QTest::newRow("inconnu") << "LPT1:" << int(DestinationPort::Invalide) << "";
        QTest::newRow("COM0:") << "COM0:" << int(DestinationPort::Invalide) << "";
        QTest::newRow("vide") << "" << int(DestinationPort::Invalide) << "";
    }

    void correspondanceDesNoms()
    {
        QFETCH(QString, nom);
        QFETCH(int, genre);
        QFETCH(QString, cible);
        const DestinationPort d = correspondance.resoudre(nom);
        QCOMPARE(int(d.genre), genre);
        if (d.genre == DestinationPort::Serie)
            QCOMPARE(d.peripherique, cible);
        else if (d.genre == DestinationPort::Tcp)
            QCOMPARE(QStringLiteral("%1:%2").arg(d.hote).arg(d.port), cible);
        else
            QVERIFY(!d.erreur.isEmpty());
    }

    void redirectionsLuesDansLeFichierDeConfiguration()
    {
        QTemporaryDir dossier;
        QFile f(dossier.filePath("navette.INI"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("[Port A]\nNumPort=COM1:\n[ports]\ncom1 = /dev/ttyUSB0\nTCP2:=192.0.2.9:4002\nCOM5:=ailleurs\n"
                "COM2:=RFC2217://serveur.local:4001\nCOM6:=rfc2217://serveur\n");
        f.close();
        FichierIni ini;
        ini.setFichier(f.fileName());
        ini.setSection("Port A");
        ini.setCle("NumPort");
        CorrespondancePorts c;
        const QStringList erreurs = c.charger(ini);
        QCOMPARE(erreurs.size(), 2);
        QVERIFY(erreurs[0].startsWith("Section [Ports], COM5: : Destination de port incompréhensible"));
        QVERIFY(erreurs[1].startsWith("Section [Ports], COM6: : Destination de port incompréhensible"));
        const DestinationPort serveur = c.resoudre("COM2:");
        QCOMPARE(int(serveur.genre), int(DestinationPort::Rfc2217));
        QCOMPARE(serveur.hote + ':' + QString::number(serveur.port), QStringLiteral("serveur.local:4001"));
        QCOMPARE(c.resoudre("COM1:").peripherique, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(c.resoudre("TCP2:").hote, QStringLiteral("192.0.2.9"));
        QVERIFY(c.definir("COM1:", "").isEmpty()); // back to the default
        QCOMPARE(c.resoudre("COM1:").peripherique, QStringLiteral("/dev/ttyS0"));
        QCOMPARE(ini.Section(), QStringLiteral("Port A"));
        QCOMPARE(ini.Cle(), QStringLiteral("NumPort"));
    }

    void pseudoTerminauxCommeUnCable()
    {
        const QString socat = QStandardPaths::findExecutable("socat");
        QVERIFY2(!socat.isEmpty(), "socat n'est pas installé (tools/installer-dependances.sh)");
        QTemporaryDir dossier;
        const QString a = dossier.filePath("ttyA"), b = dossier.filePath("ttyB");
        QProcess cable;
        cable.start(socat, {"-d", QStringLiteral("pty,raw,echo=0,link=%1").arg(a), QStringLiteral("pty,raw,echo=0,link=%1").arg(b)});
        QVERIFY(cable.waitForStarted());
        QTRY_VERIFY(QFile::exists(a) && QFile::exists(b));

        FComm appelant(env()), appele(env());
        appelant.msNumPort = a;
        appele.msNumPort = b;
        QList<QByteArray> recus;
        appele.Reception.connecter([&](const QByteArray &t) {
            recus << t;
            appele.TexteReçu_Clear();
            appele.Ecrire("OUI");
        });
        QVERIFY(appelant.Connecter());
        QVERIFY(appele.Connecter());
        QByteArray tous;
        for (int i = 0; i < 256; ++i)
            tous.append(char(i));
        QByteArray reponse;
        QVERIFY(appelant.Ecrire("YAQUELQUUN?" + tous + tous, "OUI", 3000, true, &reponse));
        QCOMPARE(reponse, QByteArray("OUI"));
        QCOMPARE(recus, QList<QByteArray>({"YAQUELQUUN?" + tous + tous}));
        QVERIFY(boites.boites.isEmpty());

        // A second opening of the same device is refused with a readable reason.
        FComm intrus(env());
        intrus.msNumPort = a;
        QVERIFY(!intrus.Connecter());
        QCOMPARE(boites.boites.last().titre, QStringLiteral("Ouverture du port ") + a);
        QVERIFY(boites.boites.last().message.contains(QStringLiteral("Accès refusé")));

        appelant.Déconnecter();
        appele.Déconnecter();
        cable.terminate();
        cable.waitForFinished();
    }

    void peripheriqueInexistant()
    {
        boites.boites.clear();
        FComm comm(env());
        comm.msNumPort = "/dev/navette-absent";
        QVERIFY(!comm.Connecter());
        QCOMPARE(boites.boites.size(), 1);
        QVERIFY(boites.boites[0].message.contains(QStringLiteral("n'existe pas")));
    }

    void horlogeSystemeRefuseUneDateInvalide()
    {
        // Never a valid date here: the tests run as root and would really set the clock.
        QString erreur;
        QVERIFY(!plateforme.reglerDateHeure(QDateTime(), &erreur));
        QVERIFY(erreur.startsWith(QStringLiteral("Réglage de l'horloge impossible")));
    }

    void tcpSansPersonneALEcoute()
    {
        QTcpServer serveur;
        QVERIFY(serveur.listen(QHostAddress::LocalHost));
        const quint16 portLibre = serveur.serverPort();
        serveur.close();
        CorrespondancePorts c;
        c.definir("TCP1:", QStringLiteral("127.0.0.1:%1").arg(portLibre));
        GestionPortsReels gestion(plateforme, c);
        boites.boites.clear();
        FComm comm({plateforme, boites, gestion, disque});
        comm.msNumPort = "TCP1:";
        QVERIFY(!comm.Connecter());
        QCOMPARE(boites.boites.size(), 1);
        QCOMPARE(boites.boites[0].titre, QStringLiteral("Ouverture du port TCP1:"));
        QVERIFY(boites.boites[0].message.contains(QStringLiteral("connexion refusée")));
    }
};

QTEST_GUILESS_MAIN(TstPortsReels)
#include "tst_ports_reels.moc"
