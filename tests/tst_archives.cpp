// The archives: a standard zip, at the method that makes each file smallest.
#include "platform/Dezipper.h"
#include "platform/production/DisqueLocal.h"
#include "platform/Zipper.h"
#include "tests/support/StationSimulee.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TstArchives : public QObject
{
    Q_OBJECT

private slots:
    void archiveStandardEtMethodeLaPlusCompacte()
    {
        QTemporaryDir dossier;
        const QString csv = dossier.filePath("ventes.csv"), bruit = dossier.filePath("bruit.bin");
        QByteArray lignes;
        for (int i = 0; i < 3000; ++i)
            lignes += QByteArray::number(20260000 + i % 28) + ";AGENCE" + QByteArray::number(i % 17) + ";" + QByteArray::number(i * 37 % 10007) + ",50\r\n";
        ecrireFichier(csv, lignes);
        ecrireFichier(bruit, aleatoire(50000));
        for (const QString &source : {csv, bruit}) {
            Zipper z;
            z.Preparer();
            z.Reglage(0);
            z.Vider();
            z.setNomArchive(source + ".ZQZIP");
            z.Fichiers() << source;
            QString raison;
            z.Compresser(&raison);
            QVERIFY2(raison.isEmpty(), qPrintable(raison));
            const qint64 taille = QFileInfo(source + ".ZQZIP").size();
            if (source == csv)
                QVERIFY(taille * 5 < lignes.size());
            else
                QVERIFY(taille < 50000 + 200); // stored, not grown
            QCOMPARE(fichiersDe(dossier.path()).filter("essai"), QStringList());
            // Any standard tool reads it (tools/installer-dependances.sh installs unzip).
            const QString unzip = QStandardPaths::findExecutable("unzip");
            QVERIFY2(!unzip.isEmpty(), "unzip manque : bash tools/installer-dependances.sh");
            QCOMPARE(QProcess::execute(unzip, {"-tqq", source + ".ZQZIP"}), 0);
        }
    }

    // Above what 999 parts could carry, the archive vouches for the size by its own: each
    // file of 66 MB is sent in an archive its receiver opens, even one of zeros only.
    void grandeArchiveOuverte_data()
    {
        QTest::addColumn<qint64>("auHasard");
        QTest::newRow("un Mo au hasard, le reste de zéros") << qint64(1'100'000);
        QTest::newRow("rien que des zéros") << qint64(0);
    }

    void grandeArchiveOuverte()
    {
        QFETCH(qint64, auHasard);
        QTemporaryDir dossier;
        const QString source = dossier.filePath("GRAND.BIN");
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(aleatoire(auHasard));
        const QByteArray zeros(1024 * 1024, '\0');
        for (int i = 0; i < 65; ++i)
            f.write(zeros);
        f.close();
        const qint64 taille = QFileInfo(source).size();
        QVERIFY(taille > Dezipper::tailleMaxExtraite);
        Zipper z;
        z.setNomArchive(dossier.filePath("a.zip"));
        z.Fichiers() << source;
        QVERIFY(z.Compresser());
        QVERIFY(QFile::remove(source));
        QTemporaryDir extraction;
        DisqueLocal disque;
        Dezipper d(disque);
        d.setNomArchive(dossier.filePath("a.zip"));
        d.setDossierExtraction(extraction.path());
        QString raison;
        QVERIFY2(d.Decompresser(&raison), qPrintable(raison));
        QCOMPARE(QFileInfo(d.FichierExtrait()).size(), taille);
    }

    // Crafted archives (tests/donnees): what each delivers, or why it is refused.
    void archivesRecues_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<qint64>("placeLibre"); // on the extraction disk; -1: the real disk
        QTest::addColumn<QByteArray>("contenu"); // of the file delivered; null when refused
        QTest::addColumn<QString>("raison");
        const QByteArray rien;
        QTest::newRow("entrée qui mène ailleurs") << "evade.zip" << qint64(-1) << QByteArray("x") << "";
        QTest::newRow("fichier au nom de l'archive") << "homonyme.zip" << qint64(-1) << QByteArray("contenu") << "";
        QTest::newRow("écrite en flux, tailles après les données") << "en-flux.zip" << qint64(-1)
                                                                   << QByteArray("date;valeur\n").repeated(500) << "";
        QTest::newRow("aucun fichier") << "vide.zip" << qint64(-1) << rien << "aucun fichier";
        QTest::newRow("un dossier seul") << "dossier-seul.zip" << qint64(-1) << rien << "aucun fichier";
        QTest::newRow("aucune taille déclarée") << "sans-taille.zip" << qint64(-1) << rien << "ne dit pas la taille";
        QTest::newRow("deflate qui ment") << "ment-deflate.zip" << qint64(-1) << rien << "plus que les 100 octets";
        QTest::newRow("bzip2 qui ment") << "ment-bzip2.zip" << qint64(-1) << rien << "plus que les 100 octets";
        QTest::newRow("taille annoncée démesurée") << "annonce-demesuree.zip" << qint64(-1) << rien << "au plus sont acceptés";
        QTest::newRow("annonce plus qu'elle ne contient") << "annonce-plus.zip" << qint64(-1) << rien
                                                          << "moins que les 3000000 octets";
        QTest::newRow("un octet changé au milieu des données") << "milieu-abime.zip" << qint64(-1) << rien << "Archive abîmée";
        QTest::newRow("en-tête local et répertoire central en désaccord") << "incoherente.zip" << qint64(-1) << rien << "Archive illisible";
        QTest::newRow("plus grande que le disque") << "grand.zip" << qint64(1'000'000) << rien
                                                   << "Place insuffisante pour décompresser 60000000 octets";
    }

    void archivesRecues()
    {
        QFETCH(QString, archive);
        QFETCH(qint64, placeLibre);
        QFETCH(QByteArray, contenu);
        QFETCH(QString, raison);
        QTemporaryDir dossier;
        DisqueLocal disque;
        Dezipper d(disque);
        d.setNomArchive(QStringLiteral(NAVETTE_DONNEES "/") + archive);
        d.setDossierExtraction(dossier.path());
        if (placeLibre >= 0)
            d.espaceLibre = [placeLibre](const QString &) { return placeLibre; };
        QString pourquoi;
        QCOMPARE(d.Decompresser(&pourquoi), raison.isEmpty());
        QVERIFY2(pourquoi.contains(raison), qPrintable(pourquoi));
        // Under a name of the station's own, never the entry's: the archive's name is the file's.
        QCOMPARE(QDir(dossier.path()).entryList(QDir::Files | QDir::Hidden).size(), contenu.isNull() ? 0 : 1);
        if (!contenu.isNull())
            QCOMPARE(lireFichier(d.FichierExtrait()), contenu);
        QVERIFY(!QFile::exists("/tmp/navette-evade"));
    }
};

QTEST_GUILESS_MAIN(TstArchives)
#include "tst_archives.moc"
