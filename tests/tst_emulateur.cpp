// The standalone emulator as a terminal program sees it: a raw TCP client typing AT commands.
#include "platform/production/PlateformeQt.h"
#include "tests/support/Programme.h"
#include "tools/modem/ServeurModems.h"

#include <random>

#include <QTcpSocket>
#include <QTest>

namespace {
struct Emulateur
{
    explicit Emulateur(QStringList options)
        : port(ServeurModems::premierPortLibre(2, 27001)), programme(NAVETTE_MODEM, options << "--port" << QString::number(port))
    {
        programme.processus.waitForReadyRead(5000); // it says what it listens on once it does
    }
    quint16 port;
    Programme programme;
};

QByteArray echanger(QTcpSocket &s, const QByteArray &texte, const QByteArray &attendu)
{
    s.write(texte);
    QByteArray recu;
    while (!recu.contains(attendu) && s.waitForReadyRead(3000))
        recu += s.readAll();
    return recu;
}
}

class TstEmulateur : public QObject
{
    Q_OBJECT

private slots:
    void commandesATSurTcp()
    {
        Emulateur e({});
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, e.port);
        QVERIFY(s.waitForConnected(3000));
        QCOMPARE(echanger(s, "ATZ0\r", "OK\r\n"), QByteArray("ATZ0\r\r\nOK\r\n"));
        QCOMPARE(echanger(s, "atj\r", "ERROR\r\n"), QByteArray("atj\r\r\nERROR\r\n"));
        // A second computer on the same port is turned away.
        QTcpSocket intrus;
        intrus.connectToHost(QHostAddress::LocalHost, e.port);
        QVERIFY(intrus.waitForConnected(3000));
        QVERIFY(intrus.waitForDisconnected(3000));
    }

    void inondationEtOrdreDesOctets_data()
    {
        QTest::addColumn<qint32>("vitesse");
        QTest::addColumn<bool>("lecteurMuet");
        QTest::newRow("pair qui ne lit pas, 115200") << 115200 << true;
        QTest::newRow("ordre des octets à 4 Mbauds") << 4'000'000 << false;
    }

    void inondationEtOrdreDesOctets()
    {
        // In this process, so that what the emulator holds can be counted.
        QFETCH(qint32, vitesse);
        QFETCH(bool, lecteurMuet);
        PlateformeQt plateforme;
        OptionsServeur options;
        options.premierPort = ServeurModems::premierPortLibre(3, 29001);
        options.modems = 3;
        options.modele.vitesse = vitesse;
        ServeurModems serveur(plateforme, options);
        QCOMPARE(serveur.demarrer(), QString());
        QTcpSocket a, b, c;
        for (auto [s, k] : {std::pair{&a, 0}, std::pair{&b, 1}, std::pair{&c, 2}}) {
            s->connectToHost(QHostAddress::LocalHost, quint16(options.premierPort + k));
            QVERIFY(s->waitForConnected(3000));
        }
        const auto attendreTexte = [](QTcpSocket &s, const QByteArray &texte, QByteArray *recu = nullptr) {
            QByteArray tout;
            const bool vu = QTest::qWaitFor([&] { return (tout += s.readAll()).contains(texte); }, 15'000);
            if (recu)
                *recu = tout;
            return vu;
        };
        b.write("ATE0S0=1\r");
        QVERIFY(attendreTexte(b, "OK"));
        a.write("ATE0DT2\r");
        QVERIFY(attendreTexte(a, "CONNECT") && attendreTexte(b, "CONNECT"));

        std::mt19937 alea(9);
        QByteArray donnees(lecteurMuet ? 8'000'000 : 300'000, Qt::Uninitialized);
        for (char &o : donnees)
            o = char(alea() % 255 + 1); // never a "+": no escape in the middle
        if (lecteurMuet) {
            // B never reads: the emulator slows A down instead of piling up, and modem 3
            // still answers.
            b.setReadBufferSize(1024);
            a.write(donnees);
            qint64 pireAttente = 0;
            size_t pireFile = 0;
            static_cast<void>(QTest::qWaitFor([&] { // the worst over three seconds of flood
                pireAttente = std::max(pireAttente, serveur.octetsEnAttente());
                pireFile = std::max(pireFile, plateforme.nombrePlanifies());
                return false;
            }, 3000));
            QVERIFY2(pireAttente <= 4 * ServeurModems::attenteMax, qPrintable(QString::number(pireAttente)));
            QVERIFY2(pireFile <= 2 * size_t(ServeurModems::attenteMax) / 16, qPrintable(QString::number(pireFile)));
            QVERIFY(a.bytesToWrite() > 0); // held back by TCP, in A's own process
            c.write("AT\r");
            QVERIFY(attendreTexte(c, "OK"));
            return;
        }
        // Small bursts at 4 Mbaud: every byte arrives, in order.
        QByteArray recu;
        for (qsizetype i = 0; i < donnees.size(); i += 97) {
            a.write(donnees.mid(i, 97));
            if (i % (97 * 20) == 0)
                QTest::qWait(1);
            recu += b.readAll();
        }
        QVERIFY(QTest::qWaitFor([&] { return (recu += b.readAll()).size() >= donnees.size(); }, 20'000));
        QCOMPARE(recu.size(), donnees.size());
        QVERIFY(recu == donnees);
    }

    void optionsInvalides()
    {
        QByteArray sortie;
        QCOMPARE(Programme::executer(NAVETTE_MODEM, {"--vitesse", "rapide"}, &sortie), 2);
        QVERIFY(QString::fromUtf8(sortie).contains(QStringLiteral("Valeur invalide pour --vitesse")));
    }
};

QTEST_GUILESS_MAIN(TstEmulateur)
#include "tst_emulateur.moc"
