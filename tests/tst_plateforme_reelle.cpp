// The production sides that only the real system can show: the precise one-shot timer, the
// folder watcher over inotify and /proc, and the service manager's notifications over a
// datagram socket. Each wait ends on the event it waits for.
#include "platform/production/PlateformeQt.h"
#include "platform/production/ServiceSysteme.h"
#include "platform/production/SurveillanceDossierInotify.h"
#include "tests/support/PlateformeSimulee.h"
#include "tests/support/StationSimulee.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <random>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

    void notificationsAuGestionnaireDeService_data()
    {
        QTest::addColumn<QByteArray>("periodeUs"); // WATCHDOG_USEC; empty: no watchdog asked
        QTest::addColumn<QList<QByteArray>>("recus");
        const QByteArray chien = "WATCHDOG=1";
        QTest::newRow("sans chien de garde") << QByteArray() << QList<QByteArray>{"READY=1"};
        QTest::newRow("chien de garde de 4 s") << QByteArray("4000000")
                                               << QList<QByteArray>{"READY=1", chien, chien, chien, chien, chien};
    }

    void notificationsAuGestionnaireDeService()
    {
        // A datagram socket stands in for the manager's. The pings come from the event loop's
        // timer (here in virtual time): a loop that does not run sends none.
        QFETCH(QByteArray, periodeUs);
        QFETCH(QList<QByteArray>, recus);
        QTemporaryDir dossier;
        const QByteArray chemin = QFile::encodeName(dossier.filePath("notify"));
        const int gestionnaire = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un adresse{};
        adresse.sun_family = AF_UNIX;
        qstrncpy(adresse.sun_path, chemin.constData(), sizeof adresse.sun_path);
        QVERIFY(::bind(gestionnaire, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse) == 0);
        qputenv("NOTIFY_SOCKET", chemin);
        if (!periodeUs.isEmpty())
            qputenv("WATCHDOG_USEC", periodeUs);
        PlateformeSimulee plateforme;
        ServiceSysteme service(plateforme);
        plateforme.avancer(1900); // nothing before ready but pings
        service.pret();
        plateforme.avancer(8100);
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
        QList<QByteArray> lus;
        char tampon[256];
        for (ssize_t n; (n = ::recv(gestionnaire, tampon, sizeof tampon, 0)) > 0;)
            lus << QByteArray(tampon, int(n));
        ::close(gestionnaire);
        QCOMPARE(lus.size(), recus.size());
        QCOMPARE(QSet<QByteArray>(lus.begin(), lus.end()), QSet<QByteArray>(recus.begin(), recus.end()));
        QCOMPARE(lus.count("READY=1"), 1);
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
