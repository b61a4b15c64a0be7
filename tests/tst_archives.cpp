// The archives: a standard zip, at the method that makes each file smallest.
#include "platform/Zipper.h"
#include "tests/support/PosteSimule.h"

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
};

QTEST_GUILESS_MAIN(TstArchives)
#include "tst_archives.moc"
