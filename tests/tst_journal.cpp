// The station's journal: its line format, rotation at its size limit, a full disk said once, a
// planted link never followed.
#include "platform/Journal.h"
#include "tests/support/DisquePlein.h"
#include "tests/support/PlateformeSimulee.h"
#include "tests/support/StationSimulee.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TstJournal : public QObject
{
    Q_OBJECT

private slots:
    void journal()
    {
        PlateformeSimulee p;
        QTemporaryDir dossier;
        Journal j(dossier.filePath("journal/A.log"), "A", p, 200, 3);
        QStringList erreurs;
        j.Avertissement.connecter([&](const QString &e) { erreurs << e; });
        j.noter("INFO", "première\tligne\r\n");
        QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\tA\tINFO\tpremière ligne  \n$")
                    .match(QString::fromUtf8(lireFichier(j.chemin())))
                    .hasMatch());
        // Rotation at the size limit, keeping three files.
        for (int i = 0; i < 30; ++i)
            j.noter("INFO", QStringLiteral("ligne %1").arg(i));
        QVERIFY(QFileInfo(j.chemin()).size() <= 200);
        QVERIFY(QFile::exists(j.chemin() + ".1") && QFile::exists(j.chemin() + ".2"));
        QVERIFY(!QFile::exists(j.chemin() + ".3"));
        QVERIFY(lireFichier(j.chemin()).contains("ligne 29"));
        QVERIFY(erreurs.isEmpty());

        // A full disk: said once, the station goes on; said again when it writes anew.
        {
            const DisquePlein plein(rlim_t(QFileInfo(j.chemin()).size()));
            for (int i = 0; i < 5; ++i)
                j.noter("INFO", "disque plein");
        }
        QCOMPARE(erreurs.size(), 1);
        QVERIFY(erreurs[0].contains("ne s'écrit plus"));
        j.noter("INFO", "de nouveau");
        QCOMPARE(erreurs.size(), 2);

        // A link planted at its name is not followed: the journal stops, and says so.
        QFile::remove(j.chemin());
        const QString cible = dossier.filePath("ailleurs");
        ecrireFichier(cible, "intact");
        QVERIFY(QFile::link(cible, j.chemin()));
        Journal k(j.chemin(), "A", p, 200, 3);
        k.Avertissement.connecter([&](const QString &e) { erreurs << e; });
        k.noter("INFO", "vers le lien");
        QCOMPARE(lireFichier(cible), QByteArray("intact"));
        QVERIFY2(erreurs.last().contains("lien symbolique"), qPrintable(erreurs.last()));
    }
};

QTEST_GUILESS_MAIN(TstJournal)
#include "tst_journal.moc"
