// The standalone emulator as a terminal program sees it: a raw TCP client typing AT commands.
#include "ServeurModems.h"

#include <QProcess>
#include <QTcpSocket>
#include <QTest>

namespace {
struct Emulateur
{
    explicit Emulateur(QStringList options)
    {
        port = ServeurModems::premierPortLibre(2, 27001);
        processus.start(NAVETTE_MODEM, options << "--port" << QString::number(port));
        processus.waitForStarted();
        processus.waitForReadyRead(5000); // it says what it listens on once it does
    }
    ~Emulateur()
    {
        processus.terminate();
        processus.waitForFinished();
    }
    QProcess processus;
    quint16 port = 0;
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

    void cableDirect()
    {
        Emulateur e({"--direct", "--vitesse", "115200"});
        QTcpSocket a, b;
        a.connectToHost(QHostAddress::LocalHost, e.port);
        b.connectToHost(QHostAddress::LocalHost, e.port + 1);
        QVERIFY(a.waitForConnected(3000) && b.waitForConnected(3000));
        QByteArray tous;
        for (int i = 0; i < 256; ++i)
            tous.append(char(i));
        a.write(tous);
        QVERIFY(a.waitForBytesWritten(3000));
        QByteArray recu;
        while (recu.size() < tous.size() && b.waitForReadyRead(3000))
            recu += b.readAll();
        QCOMPARE(recu, tous);
    }

    void optionsInvalides()
    {
        QProcess p;
        p.start(NAVETTE_MODEM, {"--vitesse", "rapide"});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
        QVERIFY(QString::fromUtf8(p.readAllStandardError()).contains(QStringLiteral("Valeur invalide pour --vitesse")));
    }
};

QTEST_GUILESS_MAIN(TstEmulateur)
#include "tst_emulateur.moc"
