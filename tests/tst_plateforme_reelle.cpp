// The production sides that only the real system can show: the precise one-shot timer, and
// the folder watcher over inotify and /proc. Each wait ends on the event it waits for.
#include "platform/production/PlateformeQt.h"
#include "platform/production/SurveillanceDossierInotify.h"
#include "tests/support/PosteSimule.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <random>

class TstPlateformeReelle : public QObject
{
    Q_OBJECT

    enum Depot { EcrivainEnPause, AutreProcessusGardeOuvert, DeplaceMemeDisque, CopieAutreDisque };

private slots:
    void echeancesJamaisAvanceesNiDesordonnees()
    {
        // Deadlines under a millisecond apart, as the emulator's pacing makes them.
        PlateformeQt plateforme;
        std::mt19937 alea(3);
        QList<std::pair<qint64, qint64>> prevu, execute; // (deadline, run at)
        qint64 instant = plateforme.maintenantUs() + 2000;
        for (int i = 0; i < 300; ++i) {
            instant += qint64(alea() % 900);
            prevu.append({instant, 0});
            plateforme.planifierA(instant, [&, instant] { execute.append({instant, plateforme.maintenantUs()}); });
        }
        const auto annule = plateforme.planifierA(instant - 1, [&] { execute.append({-1, 0}); });
        plateforme.annuler(annule);
        QVERIFY(QTest::qWaitFor([&] { return execute.size() == prevu.size(); }, 5000));
        for (qsizetype i = 0; i < execute.size(); ++i) {
            QCOMPARE(execute[i].first, prevu[i].first);
            QVERIFY2(execute[i].second >= execute[i].first, qPrintable(QString::number(i)));
        }
        QCOMPARE(plateforme.nombrePlanifies(), size_t(0));
    }

    void dossierSurveille_data()
    {
        QTest::addColumn<int>("depot");
        QTest::newRow("écrivain en pause au milieu") << int(EcrivainEnPause);
        QTest::newRow("un autre processus le garde ouvert") << int(AutreProcessusGardeOuvert);
        QTest::newRow("déplacé depuis le même disque") << int(DeplaceMemeDisque);
        QTest::newRow("copié depuis un autre disque") << int(CopieAutreDisque);
    }

    void dossierSurveille()
    {
        QFETCH(int, depot);
        QTemporaryDir racine;
        QVERIFY(QDir(racine.path()).mkdir("envois"));
        const QString dossier = racine.filePath("envois"), nom = QStringLiteral("relevé.csv"), chemin = dossier + "/" + nom;
        auto veille = SurveillanceDossierInotify::creer();
        QVERIFY(veille);
        QVERIFY(veille->surveiller(dossier, nullptr));
        QList<std::pair<QString, bool>> changements;
        veille->Changement.connecter([&](const QString &n, bool complet) { changements.append({n, complet}); });
        // Events come in order: once a later file is reported, all about the first one are in.
        int reperes = 0;
        const auto toutEstArrive = [&] {
            const QString repere = QStringLiteral("repère%1").arg(++reperes);
            ecrireFichier(dossier + "/" + repere, "x");
            return QTest::qWaitFor([&] { return changements.contains({repere, true}); }, 5000);
        };
        const auto complet = [&] { return changements.contains({nom, true}); };
        const QByteArray contenu(200'000, 'r');

        QFile ecrivain(chemin);
        QProcess autre;
        switch (Depot(depot)) {
        case EcrivainEnPause:
            QVERIFY(ecrivain.open(QIODevice::WriteOnly));
            ecrivain.write(contenu.left(1000));
            ecrivain.flush();
            break;
        case AutreProcessusGardeOuvert:
            // Writes, then holds the file open until its input closes.
            autre.start("sh", {"-c", "exec 3>\"$1\"; printf debut >&3; read ligne", "sh", chemin});
            QVERIFY(autre.waitForStarted());
            QVERIFY(QTest::qWaitFor([&] { return QFileInfo(chemin).size() == 5; }, 5000));
            break;
        default:
            break;
        }
        if (depot == EcrivainEnPause || depot == AutreProcessusGardeOuvert) {
            QVERIFY(toutEstArrive());
            QVERIFY(!complet());
            QCOMPARE(veille->ouvertsEnEcriture(), QSet<QString>({nom}));
        }

        switch (Depot(depot)) {
        case EcrivainEnPause:
            ecrivain.write(contenu.mid(1000));
            ecrivain.close();
            break;
        case AutreProcessusGardeOuvert:
            autre.closeWriteChannel();
            QVERIFY(autre.waitForFinished());
            break;
        case DeplaceMemeDisque:
            ecrireFichier(racine.filePath(nom), contenu);
            QVERIFY(QFile::rename(racine.filePath(nom), chemin));
            break;
        case CopieAutreDisque: {
            QTemporaryDir ailleurs(QStringLiteral("/dev/shm/navette-XXXXXX"));
            QVERIFY2(ailleurs.isValid(), "pas de second système de fichiers (/dev/shm)");
            ecrireFichier(ailleurs.filePath(nom), contenu);
            QCOMPARE(QProcess::execute("cp", {ailleurs.filePath(nom), dossier}), 0);
            break;
        }
        }
        QVERIFY(QTest::qWaitFor(complet, 5000));
        QVERIFY(veille->ouvertsEnEcriture().isEmpty());
        if (depot != AutreProcessusGardeOuvert)
            QCOMPARE(lireFichier(chemin), contenu);
    }

    void dossierQuiDisparait()
    {
        auto veille = SurveillanceDossierInotify::creer();
        QVERIFY(veille);
        QString erreur;
        QVERIFY(!veille->surveiller(QStringLiteral("/nulle/part"), &erreur));
        QVERIFY2(erreur.startsWith(QStringLiteral("Le dossier /nulle/part ne peut pas être surveillé (")), qPrintable(erreur));
        QVERIFY(!veille->surveille());

        // Moved away, then deleted and made again: it tells, and is watched anew.
        QTemporaryDir racine;
        const QString dossier = racine.filePath("envois");
        QList<std::pair<QString, bool>> changements;
        veille->Changement.connecter([&](const QString &n, bool complet) { changements.append({n, complet}); });
        for (const bool deplace : {true, false}) {
            QVERIFY(QDir().mkpath(dossier));
            QVERIFY(veille->surveiller(dossier, nullptr));
            QVERIFY(veille->surveille());
            QVERIFY(deplace ? QDir().rename(dossier, racine.filePath("ailleurs")) : QDir(dossier).removeRecursively());
            QVERIFY(QTest::qWaitFor([&] { return !veille->surveille(); }, 5000));
            QVERIFY(QDir(racine.filePath("ailleurs")).removeRecursively() || !deplace);
        }
        QVERIFY(QDir().mkpath(dossier));
        QVERIFY(veille->surveiller(dossier, nullptr));
        changements.clear();
        ecrireFichier(dossier + "/nouveau.txt", "x");
        QVERIFY(QTest::qWaitFor([&] { return changements.contains({"nouveau.txt", true}); }, 5000));
    }
};

QTEST_GUILESS_MAIN(TstPlateformeReelle)
#include "tst_plateforme_reelle.moc"
