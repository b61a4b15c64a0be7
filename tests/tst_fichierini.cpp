// The configuration file: every byte it holds kept as it was, shared between two stations,
// a full disk or a size limit said in French with the old file left whole.
#include "platform/FichierIni.h"
#include "tests/support/PosteSimule.h"

#include <QDir>
#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <csignal>
#include <sys/resource.h>
#include <thread>

class TstFichierIni : public QObject
{
    Q_OBJECT

private slots:
    void fichierGardeOctetPourOctet_data()
    {
        QTest::addColumn<QByteArray>("avant");
        QTest::addColumn<QString>("nom");     // read back before the save
        QTest::addColumn<QByteArray>("apres"); // once "Ajout=é" is saved in [Port A]
        QTest::newRow("Windows-1252 sans fin de ligne")
            << QByteArray("[Port A]\nNom=Caf\xe9") << QStringLiteral("Café") << QByteArray("[Port A]\nNom=Caf\xe9\nAjout=\xe9\n");
        QTest::newRow("marque d'ordre d'octets")
            << QByteArray("\xEF\xBB\xBF[Port A]\nNom=x\n") << QStringLiteral("x")
            << QByteArray("\xEF\xBB\xBF[Port A]\nNom=x\nAjout=\xC3\xA9\n");
        QTest::newRow("deux marques") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[Port A]\nNom=x\n") << QStringLiteral("x")
                                      << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[Port A]\nNom=x\nAjout=\xC3\xA9\n");
        QTest::newRow("fins de ligne mêlées") << QByteArray("[Port A]\r\nNom=x\nB=2\r\n") << QStringLiteral("x")
                                             << QByteArray("[Port A]\r\nNom=x\nB=2\r\nAjout=\xC3\xA9\r\n");
        QTest::newRow("retours chariot seuls") << QByteArray("[Port A]\rNom=x\rB=2\r") << QStringLiteral("x")
                                              << QByteArray("[Port A]\rNom=x\rB=2\rAjout=\xC3\xA9\r");
    }

    void fichierGardeOctetPourOctet()
    {
        QFETCH(QByteArray, avant);
        QFETCH(QString, nom);
        QFETCH(QByteArray, apres);
        QTemporaryDir dossier;
        const QString chemin = dossier.filePath("navette.INI");
        ecrireFichier(chemin, avant);
        FichierIni ini;
        ini.setFichier(chemin);
        ini.setSection("Port A");
        ini.setCle("Nom");
        QVERIFY(ini.Lire());
        QCOMPARE(ini.Valeur(), nom);
        ini.setCle("Ajout");
        ini.setValeur("é");
        QVERIFY(ini.Enregistrer());
        QCOMPARE(lireFichier(chemin), apres);
    }

    void fichierPartageEtDisquePlein()
    {
        QTemporaryDir dossier;
        const QString chemin = dossier.filePath("navette.INI");
        ecrireFichier(chemin, "[Port A]\nNumPort=COM1:\n");
        // Another instance holds the file while it saves its own key: ours waits, then keeps it.
        QLockFile autre(chemin + ".verrou");
        QVERIFY(autre.lock());
        bool enregistre = false;
        std::thread ecrivain([&] {
            FichierIni ini;
            ini.setFichier(chemin);
            ini.setSection("Port B");
            ini.setCle("NumPort");
            ini.setValeur("COM2:");
            enregistre = ini.Enregistrer();
        });
        QThread::msleep(200); // the other writer's own read-modify-write
        ecrireFichier(chemin, "[Port A]\nNumPort=COM1:\nLEFT=10\n");
        autre.unlock();
        ecrivain.join();
        QVERIFY(enregistre);
        QCOMPARE(lireFichier(chemin), QByteArray("[Port A]\nNumPort=COM1:\nLEFT=10\n[Port B]\nNumPort=COM2:\n"));

        // A size limit says why in French, and the old file stays whole.
        rlimit avant{};
        getrlimit(RLIMIT_FSIZE, &avant);
        signal(SIGXFSZ, SIG_IGN);
        rlimit limite = avant;
        limite.rlim_cur = 10;
        setrlimit(RLIMIT_FSIZE, &limite);
        FichierIni ini;
        ini.setFichier(chemin);
        ini.setSection("Port A");
        ini.setCle("TOP");
        ini.setValeur("20");
        QString raison;
        const bool ecrit = ini.Enregistrer(&raison);
        setrlimit(RLIMIT_FSIZE, &avant);
        QVERIFY(!ecrit);
        QVERIFY2(raison.contains("disque plein"), qPrintable(raison));
        QVERIFY(lireFichier(chemin).endsWith("[Port B]\nNumPort=COM2:\n"));
    }

};

QTEST_GUILESS_MAIN(TstFichierIni)
#include "tst_fichierini.moc"
