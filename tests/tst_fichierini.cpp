// The configuration file: every byte it holds kept as it was, shared between two stations,
// a full disk or a size limit said in French with the old file left whole.
#include "platform/FichierIni.h"
#include "tests/support/DisquePlein.h"
#include "tests/support/StationSimulee.h"

#include <QLockFile>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

class TstFichierIni : public QObject
{
    Q_OBJECT

    // What stands in the way of a save.
    enum Obstacle { RenduPendantLAttente, TenuPlusDe10s, Plein };

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

    void modifieParAutruiApresLecture()
    {
        // Edited by someone else after it was read, even keeping its size and date: the next
        // read sees it, the next save keeps it.
        QTemporaryDir dossier;
        const QString chemin = dossier.filePath("navette.INI");
        ecrireFichier(chemin, "[Port 1]\nNumPort=COM1:\n");
        FichierIni ini;
        ini.setFichier(chemin);
        ini.setSection("Port 1");
        ini.setCle("NumPort");
        QVERIFY(ini.Lire());
        const QDateTime date = QFileInfo(chemin).lastModified();
        ecrireFichier(chemin, "[Port 1]\nNumPort=COM2:\n");
        QFile f(chemin);
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(date, QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(ini.Lire());
        QCOMPARE(ini.Valeur(), QStringLiteral("COM2:"));
        ini.setCle("Autre");
        ini.setValeur("1");
        QVERIFY(ini.Enregistrer());
        QCOMPARE(lireFichier(chemin), QByteArray("[Port 1]\nNumPort=COM2:\nAutre=1\n"));
    }

    void enregistrementPartageOuEmpeche_data()
    {
        QTest::addColumn<int>("obstacle");
        QTest::addColumn<QString>("raison"); // empty: saved
        QTest::addColumn<QByteArray>("apres");
        const QByteArray avant = "[Port A]\nNumPort=COM1:\n";
        QTest::newRow("un autre programme enregistre, puis rend le fichier")
            << int(RenduPendantLAttente) << QString() << avant + "LEFT=10\n[Port B]\nNumPort=COM2:\n";
        QTest::newRow("tenu plus de 10 s") << int(TenuPlusDe10s) << "est tenu par un autre programme depuis plus de 10 s : rien n'est enregistré."
                                            << avant;
        QTest::newRow("disque plein") << int(Plein) << "disque plein" << avant;
    }

    void enregistrementPartageOuEmpeche()
    {
        QFETCH(int, obstacle);
        QFETCH(QString, raison);
        QFETCH(QByteArray, apres);
        QTemporaryDir dossier;
        const QString chemin = dossier.filePath("navette.INI");
        ecrireFichier(chemin, "[Port A]\nNumPort=COM1:\n");
        FichierIni ini;
        ini.setFichier(chemin);
        ini.setSection("Port B");
        ini.setCle("NumPort");
        ini.setValeur("COM2:");
        QLockFile autre(chemin + ".verrou");
        QVERIFY(autre.lock());
        int delaiDemande = 0;
        ini.attenteVerrou = [&](QLockFile &verrou, int delaiMs) {
            delaiDemande = delaiMs;
            if (obstacle == RenduPendantLAttente)
                ecrireFichier(chemin, "[Port A]\nNumPort=COM1:\nLEFT=10\n"); // the other's own save
            if (obstacle != TenuPlusDe10s)
                autre.unlock();
            return verrou.tryLock(0);
        };
        std::optional<DisquePlein> plein;
        if (obstacle == Plein)
            plein.emplace(10);
        QString pourquoi;
        const bool enregistre = ini.Enregistrer(&pourquoi);
        plein.reset();
        QCOMPARE(delaiDemande, 10'000);
        QCOMPARE(enregistre, raison.isEmpty());
        QVERIFY2(pourquoi.contains(raison), qPrintable(pourquoi));
        QCOMPARE(lireFichier(chemin), apres);
    }
};

QTEST_GUILESS_MAIN(TstFichierIni)
#include "tst_fichierini.moc"
