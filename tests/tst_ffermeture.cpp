// Remote control: the instance window's actions in virtual time, the local socket with real
// processes and the windowless station.
#include "auxwindows/FFermeture.h"
#include "link/CInterlocuteur.h"
#include "platform/production/SurveillanceFenetreLocale.h"
#include "serial/FComm.h"
#include "tests/support/StationSurLigne.h"
#include "tests/support/Programme.h"
#include "tests/support/SurveillanceFenetreSimulee.h"

#include <QProcess>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <atomic>
#include <thread>
#include <unistd.h>

namespace {
// Posts to the instance window of the station on "COM1:".
bool envoyer(qint32 msg, qint32 masque)
{
    return SurveillanceFenetreSimulee::envoyer("ZQNAVETTECOMCOM1::", msg, masque);
}

// A socket file with nobody listening, as a killed instance leaves it.
bool priseSansEcoute(const QString &chemin)
{
    const QByteArray nom = QFile::encodeName(chemin);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un adresse{};
    adresse.sun_family = AF_UNIX;
    qstrncpy(adresse.sun_path, nom.constData(), sizeof adresse.sun_path);
    const bool lie = ::bind(fd, reinterpret_cast<sockaddr *>(&adresse), sizeof adresse) == 0;
    ::close(fd);
    return lie && QFile::exists(chemin);
}

// Sends from another thread: the instance answers from this one's event loop.
bool envoyerDepuisUnAutreFil(const QString &caption, qint32 msg, qint32 masque, QString &reponse)
{
    bool remis = false;
    std::thread client([&] { remis = SurveillanceFenetreLocale::envoyer(caption, msg, masque, reponse); });
    std::atomic<bool> fini = false;
    std::thread attente([&] {
        client.join();
        fini = true;
    });
    static_cast<void>(QTest::qWaitFor([&] { return fini.load(); }, 10'000)); // the join below waits anyway
    attente.join();
    return remis;
}
}

class TstFFermeture : public QObject
{
    Q_OBJECT

private slots:
    void actionsDesMasques_data()
    {
        QTest::addColumn<int>("masque");
        QTest::addColumn<QList<int>>("etats");
        QTest::newRow("0 : rien") << 0 << QList<int>({0});
        QTest::newRow("1 : connecter") << 1 << QList<int>({0, 2});
        QTest::newRow("4 : déjà déconnecté") << 4 << QList<int>({0});
        QTest::newRow("5 : connecter puis déconnecter") << 5 << QList<int>({0, 2, 0});
    }

    void actionsDesMasques()
    {
        QFETCH(int, masque);
        QFETCH(QList<int>, etats);
        StationSurLigne s(StationSurLigne::Application);
        s.silence = -1;
        QCOMPARE(s.fenetre().fenetreInstance().caption(), QStringLiteral("ZQNAVETTECOMCOM1::"));
        QVERIFY(envoyer(FFermeture::messageCommande, masque));
        QVERIFY(s.vue.etatsCoche.size() <= 1); // nothing before the timer
        s.plateforme.avancer(199);
        QVERIFY(s.vue.etatsCoche.size() <= 1);
        s.plateforme.avancer(2);
        s.plateforme.avancer(120'000);
        QCOMPARE(s.vue.etatsCoche.isEmpty() ? QList<int>({0}) : s.vue.etatsCoche, etats);
        QVERIFY(s.fenetre().ListeInfo().filter("Commande à distance reçue : " + QString::number(masque)).size() == 1);
        QVERIFY(!s.fenetre().fenetreInstance().actionEnAttente());
    }

    void masquesParticuliers()
    {
        StationSurLigne s(StationSurLigne::Application);
        s.silence = -1;
        FMain &f = s.fenetre();
        // Another message number never reaches the actions.
        QVERIFY(envoyer(1260, 8));
        s.plateforme.avancer(1000);
        QCOMPARE(s.vue.codeSortie, -1);
        // A later mask replaces one still pending: only 2 runs.
        QVERIFY(envoyer(FFermeture::messageCommande, 8));
        s.plateforme.avancer(100);
        QVERIFY(envoyer(FFermeture::messageCommande, 2));
        s.plateforme.avancer(300);
        QCOMPARE(s.vue.codeSortie, -1);
        QVERIFY(f.ListeInfo().first().endsWith("Ce poste est 'appelant'."));
        // The settings dialog changes the port: the window's name follows.
        s.dialogue.action = [](FComm &comm, ParametresStation &) { comm.msNumPort = "COM7:"; };
        f.BtnConfigurer_Click();
        QCOMPARE(f.fenetreInstance().caption(), QStringLiteral("ZQNAVETTECOMCOM7::"));
        QVERIFY(!envoyer(FFermeture::messageCommande, 8));
        QVERIFY(SurveillanceFenetreSimulee::envoyer("ZQNAVETTECOMCOM7::", FFermeture::messageCommande, 8));
        // 8: disconnect and end, without the closing question.
        const qsizetype boites = s.boites.boites.size();
        s.plateforme.avancer(300);
        QCOMPARE(s.vue.codeSortie, 0);
        QCOMPARE(s.boites.boites.size(), boites);
    }

    void prisesLocales()
    {
        const QString nom = QStringLiteral("ZQNAVETTECOMTEST%1:").arg(::getpid());
        SurveillanceFenetreLocale premiere;
        QList<qint32> recus;
        premiere.EventWindows.connecter([&](qint32 m, qint32 w, qint32, qint32 &) { recus << m << w; });
        premiere.repondreEtat = [](bool) { return QStringLiteral("Poste A, Connecté"); };
        premiere.SurveillerMessage(FFermeture::messageCommande, true);
        QVERIFY(premiere.setFenetre(nom, nullptr));
        QString reponse;
        QVERIFY(envoyerDepuisUnAutreFil(nom, FFermeture::messageCommande, 5, reponse));
        QCOMPARE(recus, QList<qint32>({1261, 5}));
        QVERIFY(envoyerDepuisUnAutreFil(nom, SurveillanceFenetre::messageEtat, 0, reponse));
        QCOMPARE(reponse, QStringLiteral("Poste A, Connecté"));

        // A second instance on the same port does not take the first one's name.
        SurveillanceFenetreLocale seconde;
        QString refus;
        QVERIFY(!seconde.setFenetre(nom, &refus));
        QVERIFY(refus.startsWith("Une autre instance de Navette sert déjà"));
        QVERIFY(envoyerDepuisUnAutreFil(nom, FFermeture::messageCommande, 1, reponse));
        QCOMPARE(recus.size(), 4);

        // The socket file of a killed instance is reclaimed.
        const QString perime = nom + "perime";
        QVERIFY(priseSansEcoute(SurveillanceFenetreLocale::dossierPrive() + "/" + perime));
        SurveillanceFenetreLocale reprise;
        QVERIFY(reprise.setFenetre(perime, nullptr));
    }

    void priseProtegee_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::newRow("mode 0600 dans un dossier à soi") << "mode";
        QTest::newRow("un autre utilisateur n'est pas servi") << "autre";
        QTest::newRow("nom pris par un autre utilisateur") << "squat";
    }

    void priseProtegee()
    {
        QFETCH(QString, cas);
        // Another user must reach the socket's folder: under /tmp, whatever the test's own is.
        QTemporaryDir atteignable;
        const QByteArray xdg = qgetenv("XDG_RUNTIME_DIR");
        const auto remettre = qScopeGuard([&] { qputenv("XDG_RUNTIME_DIR", xdg); });
        if (cas == "autre") {
            QVERIFY(::chmod(QFile::encodeName(atteignable.path()).constData(), 0711) == 0);
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(atteignable.path()));
        }
        const QString nom = QStringLiteral("ZQNAVETTECOMPRISE%1%2:").arg(::getpid()).arg(cas);
        const QString dossier = SurveillanceFenetreLocale::dossierPrive(), prise = dossier + "/" + nom;
        QVERIFY(!dossier.isEmpty());
        QString reponse, refus;
        if (cas == "squat") {
            // Another user's socket under the name: reported, and nothing is sent to it.
            QVERIFY(priseSansEcoute(prise) && ::chown(QFile::encodeName(prise).constData(), 65534, 65534) == 0);
            QVERIFY(!SurveillanceFenetreLocale::envoyer(nom, FFermeture::messageCommande, 8, reponse, &refus, 500));
            QVERIFY2(refus.contains("appartient à l'utilisateur nobody : elle n'est pas fiable"), qPrintable(refus));
            QFile::remove(prise);
            return;
        }
        SurveillanceFenetreLocale instance;
        QList<qint32> recus;
        instance.EventWindows.connecter([&](qint32 m, qint32 w, qint32, qint32 &) { recus << m << w; });
        instance.SurveillerMessage(FFermeture::messageCommande, true);
        QVERIFY(instance.setFenetre(nom, nullptr));
        if (cas == "mode") {
            const auto autres = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther
                | QFile::ExeOther;
            QCOMPARE(QFileInfo(prise).permissions() & (autres | QFile::ExeOwner), QFileDevice::Permissions());
            QCOMPARE(QFileInfo(dossier).permissions() & autres, QFileDevice::Permissions());
            return;
        }
        // Even reachable through a careless mode, another user's message is not taken.
        QVERIFY(::chmod(QFile::encodeName(dossier).constData(), 0711) == 0 && ::chmod(QFile::encodeName(prise).constData(), 0666) == 0);
        // Connected (the modes let it in), then dropped unanswered: the check refused it.
        QProcess autre;
        autre.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/python3", "-c",
                                "import socket, sys\n"
                                "s = socket.socket(socket.AF_UNIX)\n"
                                "s.connect(sys.argv[1])\n"
                                "print('connecté', flush=True)\n"
                                "s.sendall(b'1261 8 0\\n')\n"
                                "s.settimeout(2)\n"
                                "try:\n"
                                "    r = s.recv(100).decode()\n"
                                "except OSError:\n"
                                "    r = ''\n"
                                "print('réponse :', r.strip())\n",
                                prise});
        QVERIFY(QTest::qWaitFor([&] { return autre.state() == QProcess::NotRunning; }, 10'000));
        ::chmod(QFile::encodeName(dossier).constData(), 0700);
        QCOMPARE(autre.readAllStandardOutput() + autre.readAllStandardError(), QByteArray("connecté\nréponse : \n"));
        QVERIFY(recus.isEmpty());
        QVERIFY(envoyerDepuisUnAutreFil(nom, FFermeture::messageCommande, 1, reponse)); // this user still is
        QCOMPARE(recus, QList<qint32>({1261, 1}));
    }

    void stationSansFenetre()
    {
        // A real process without a display: it answers --etat, the client's exit codes, and
        // SIGTERM ends it in order with its configuration file whole.
        QTemporaryDir dossier;
        const QByteArray ini = "; poste de test\n[Port Z]\nNumPort=TCP9:\nPosteAppellant=0\n[Ports]\nTCP9:=127.0.0.1:1\n";
        ecrireFichier(dossier.filePath("navette.INI"), ini);
        Programme station(NAVETTE, {"--sans-fenetre", "--dossier", dossier.path(), "Z"});
        const auto client = [](const QStringList &arguments, QByteArray *sortie = nullptr) {
            return Programme::executer(NAVETTE, arguments, sortie);
        };
        QByteArray etat;
        QVERIFY(QTest::qWaitFor([&] { return client({"--etat", "tcp9:"}, &etat) == 0; }, 10'000));
        QVERIFY2(etat.startsWith("Poste Z, port TCP9:, "), etat.constData());
        QCOMPARE(client({"--etat", "TCP9:", "--json"}, &etat), 0);
        QJsonParseError erreur;
        const QJsonObject json = QJsonDocument::fromJson(etat, &erreur).object();
        QVERIFY2(erreur.error == QJsonParseError::NoError, etat.constData());
        QCOMPARE(json.value("poste").toString(), QStringLiteral("Z"));
        QCOMPARE(json.value("port").toString(), QStringLiteral("TCP9:"));
        QVERIFY(json.value("synchronisation").isBool() && json.value("fichiersEnAttente").toInt(-1) == 0);
        QVERIFY(json.value("dernierEnvoi").isNull() && json.value("derniereReception").isNull());
        QCOMPARE(client({"--commande", "TCP9:", "1", "--json"}), 2);
        QByteArray message;
        QCOMPARE(client({"--commande", "TCP8:", "1"}, &message), 1);
        QCOMPARE(message.trimmed(), QByteArray("Aucune instance de Navette ne sert le port TCP8:"));
        QCOMPARE(client({"--commande", "TCP9:", "abc"}), 2);
        QCOMPARE(client({"--commande", "TCP9:", "16"}), 2);

        QCOMPARE(station.arreter(), 0);
        const QByteArray apres = lireFichier(dossier.filePath("navette.INI"));
        QVERIFY2(apres.startsWith("; poste de test\n[Port Z]\nNumPort=TCP9:\nPosteAppellant=0\n")
                     && apres.endsWith("[Ports]\nTCP9:=127.0.0.1:1\n"),
                 apres.constData());
        const QByteArray journal = lireFichier(dossier.filePath("journal/Z.log"));
        QVERIFY(journal.contains("\tZ\tDEMARRAGE\t"));
        QVERIFY(journal.contains("\tZ\tARRET\t"));
        QVERIFY(station.processus.readAllStandardOutput().contains("[Z] Titre : Z : Navette"));
    }
};

QTEST_GUILESS_MAIN(TstFFermeture)
#include "tst_ffermeture.moc"
