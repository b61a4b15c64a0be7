// Two real stations, in real time: two navette processes on Qt's offscreen platform call
// each other through navette-modem, and a file dropped into A's outgoing folder reaches B.
#include "tests/support/PosteSimule.h"
#include "tools/modem/ServeurModems.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TstBoutEnBout : public QObject
{
    Q_OBJECT

private slots:
    void unFichierTraverse()
    {
        const quint16 port = ServeurModems::premierPortLibre(2, 37001);
        QVERIFY(port != 0);
        QProcess modem;
        modem.start(NAVETTE_MODEM, {"--port", QString::number(port)});
        QVERIFY(modem.waitForStarted());
        QVERIFY(modem.waitForReadyRead(5000));

        QTemporaryDir dossier;
        const QByteArray ports = "[Ports]\nTCP1:=127.0.0.1:" + QByteArray::number(port) + "\nTCP2:=127.0.0.1:"
            + QByteArray::number(port + 1) + "\n";
        QDir(dossier.path()).mkdir("A");
        QDir(dossier.path()).mkdir("B");
        ecrireFichier(dossier.filePath("A/navette.INI"), "[Port A]\nNumPort=TCP1:\nPosteAppellant=-1\nNumTelAppel=2\n" + ports);
        ecrireFichier(dossier.filePath("B/navette.INI"), "[Port B]\nNumPort=TCP2:\nPosteAppellant=0\n" + ports);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        QProcess a, b;
        for (auto [processus, nom] : {std::pair{&b, "B"}, std::pair{&a, "A"}}) {
            processus->setProcessEnvironment(env);
            processus->start(NAVETTE, {"--dossier", dossier.filePath(nom), "--echo", nom});
            QVERIFY(processus->waitForStarted());
        }
        const QByteArray contenu = QByteArray("relevé;quantité\r\n").repeated(200);
        QVERIFY(QTest::qWaitFor([&] { return QDir(dossier.filePath("A/Envois à A")).exists(); }, 10'000));
        ecrireFichier(dossier.filePath("A/Envois à A/releve.csv"), contenu);
        // Delivered, and deleted from A's folder once acknowledged.
        const bool arrive = QTest::qWaitFor(
            [&] {
                return lireFichier(dossier.filePath("B/Recus de B/RELEVE.CSV")) == contenu
                    && !QFile::exists(dossier.filePath("A/Envois à A/releve.csv"));
            },
            60'000);
        for (QProcess *processus : {&a, &b})
            ::kill(pid_t(processus->processId()), SIGTERM);
        for (QProcess *processus : {&a, &b})
            QVERIFY(processus->waitForFinished(20'000));
        modem.terminate();
        modem.waitForFinished();
        QVERIFY2(arrive, a.readAllStandardOutput().constData());
        QCOMPARE(a.exitCode(), 0);
        QCOMPARE(b.exitCode(), 0);
        QVERIFY(b.readAllStandardOutput().contains("RELEVE.CSV"));
    }
};

QTEST_GUILESS_MAIN(TstBoutEnBout)
#include "tst_bout_en_bout.moc"
