// Writing a command and waiting for its answer, through the line driver, in virtual time:
// chunks and their progress, answers, refusals, silence, a stop from a handler, the line
// held by an incoming frame, the driver ending inside the wait.
#include "platform/Windows1252.h"
#include "tests/support/BancLigne.h"

#include <QTest>

class TstEcritureCommande : public QObject
{
    Q_OBJECT

    using Poste = PiloteSurLigne;

private slots:
    void progressionDEmission_data()
    {
        QTest::addColumn<int>("longueur");
        QTest::addColumn<QStringList>("progression");
        QTest::newRow("trame vide") << 0 << QStringList();
        QTest::newRow("508: rien") << 508 << QStringList();
        QTest::newRow("509") << 509 << QStringList({"ProgressEmission:513/513", "ProgressEmission:1024/513"});
        QTest::newRow("1100") << 1100
                              << QStringList(
                                     {"ProgressEmission:513/1104", "ProgressEmission:1025/1104", "ProgressEmission:1536/1104"});
    }

    void progressionDEmission()
    {
        QFETCH(int, longueur);
        QFETCH(QStringList, progression);
        Poste p;
        QVERIFY(p.comm.Connecter());
        p.journal.lignes.clear();
        const QByteArray texte(longueur, 'x');
        QVERIFY(p.comm.Ecrire(texte));
        QCOMPARE(p.journal.lignes, progression);
        p.banc.plateforme.executerTout();
        QCOMPARE(p.banc.recuParLePair, BancLigne::trame(texte));
    }

    void attenteDUneReponse_data()
    {
        // The peer sends `reponse` `apresMs` after our command, its bytes past `coupure`
        // 180 ms after it. A failed wait lasts `dureeMs` and logs `journal`; `ensuite` is what
        // arrives afterwards as a message of the other side.
        QTest::addColumn<QByteArray>("commande");
        QTest::addColumn<QByteArray>("attendue");
        QTest::addColumn<int>("delaiMs");
        QTest::addColumn<bool>("tramee");
        QTest::addColumn<QByteArray>("reponse");
        QTest::addColumn<int>("apresMs");
        QTest::addColumn<int>("coupure");
        QTest::addColumn<QByteArray>("recu"); // empty: the wait fails
        QTest::addColumn<int>("dureeMs");
        QTest::addColumn<QString>("journal");
        QTest::addColumn<QByteArray>("ensuite");
        const QString ecoule = QStringLiteral("Erreur:Temps d'attente de réponse écoulé. ");
        const QByteArray longue = "OKFICHIER" + QByteArray(91, '.');
        QTest::newRow("réponse du modem, sans égard à la casse")
            << QByteArray("ATZ0\r") << QByteArray("OK") << 2000 << false << QByteArray("\r\nok\r\n") << 30 << 0
            << QByteArray("\r\nok\r\n") << 0 << "" << QByteArray();
        QTest::newRow("les lettres de la réponse dans des données : pas celle du modem")
            << QByteArray("ATZ0\r") << QByteArray("OK") << 1000 << false << QByteArray("\x9c\x11ok\x02Ok") << 30 << 0
            << QByteArray() << 1000 << ecoule + "(OK / ATZ0\r)" << QByteArray();
        QTest::newRow("réplique tramée : le délai s'allonge le temps qu'elle arrive")
            << QByteArray("CMD") << QByteArray("okfichier") << 100 << true << BancLigne::trame(longue) << 10 << 10 << longue << 0
            << "" << QByteArray();
        QTest::newRow("autre texte que la réponse : livré à son arrivée, l'attente continue")
            << QByteArray("CMD2") << QByteArray("OKFICHIER") << 500 << true << BancLigne::trame("NON OKFICHIER") << 5 << 0
            << QByteArray() << 500 << ecoule + "(OKFICHIER / CMD2)" << QByteArray("NON OKFICHIER");
        QTest::newRow("personne ne répond : douze caractères de la commande")
            << QByteArray("ABCDEFGHIJKLMNOP") << QByteArray("OK") << 2000 << true << QByteArray() << 0 << 0 << QByteArray()
            << 2000 << ecoule + "(OK / ABCDEFGHIJKL)" << QByteArray();
        QTest::newRow("délai nul") << QByteArray("ABCDEFGHIJKLMNOP") << QByteArray("OK") << 0 << true << QByteArray() << 0 << 0
                                   << QByteArray() << 0 << "Erreur:ABCDEFGHIJKL" << QByteArray();
        QTest::newRow("réplique tardive, livrée comme message")
            << QByteArray("FICHIER") << QByteArray("OKFICHIER") << 3000 << true << BancLigne::trame("OKFICHIER") << 3500 << 0
            << QByteArray() << 3000 << ecoule + "(OKFICHIER / FICHIER)" << QByteArray("OKFICHIER");
        QTest::newRow("notre commande en écho : pas une commande de l'autre poste")
            << QByteArray("YAQUELQUUN?") << QByteArray("OUI") << 500 << true << BancLigne::trame("YAQUELQUUN?") << 5 << 0
            << QByteArray() << 500 << ecoule + "(OUI / YAQUELQUUN?)" << QByteArray();
        QTest::newRow("porteuse perdue : l'attente finit tout de suite")
            << QByteArray("RECEPFICHIER") << QByteArray("OKFICHIER") << 4000 << true << QByteArray("\r\nNO CARRIER\r\n") << 50
            << 0 << QByteArray() << 50 << "Erreur:Pas de porteuse pendant l'attente de réponse. (OKFICHIER / RECEPFICHIER)"
            << QByteArray("Pas de porteuse.");
    }

    void attenteDUneReponse()
    {
        QFETCH(QByteArray, commande);
        QFETCH(QByteArray, attendue);
        QFETCH(int, delaiMs);
        QFETCH(bool, tramee);
        QFETCH(QByteArray, reponse);
        QFETCH(int, apresMs);
        QFETCH(int, coupure);
        QFETCH(QByteArray, recu);
        QFETCH(int, dureeMs);
        QFETCH(QString, journal);
        QFETCH(QByteArray, ensuite);
        Poste p({.bauds = 115200});
        p.comm.estCommande = [](const QByteArray &t) { return t.startsWith("YAQUELQUUN?"); };
        p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
        p.banc.surReceptionPair = [&](const QByteArray &) {
            if (reponse.isEmpty() || !p.banc.recuParLePair.endsWith(commande))
                return;
            p.banc.pairEnvoie(coupure ? reponse.left(coupure) : reponse, apresMs);
            if (coupure)
                p.banc.pairEnvoie(reponse.mid(coupure), 180);
        };
        const quint32 debut = p.banc.plateforme.tickMs();
        QByteArray rendu;
        QCOMPARE(p.comm.Ecrire(commande, attendue, delaiMs, tramee, &rendu), !recu.isEmpty());
        const quint32 duree = p.banc.plateforme.ecouleDepuis(debut);
        if (!recu.isEmpty()) {
            QCOMPARE(rendu, recu);
            QVERIFY(p.comm.TexteReçu().isEmpty());
        } else {
            QVERIFY2(duree >= quint32(dureeMs) && duree <= quint32(dureeMs) + 10, qPrintable(QString::number(duree)));
            QCOMPARE(p.journal.lignes.last(), journal);
        }
        p.banc.plateforme.executerTout();
        QCOMPARE(p.journal.receptions, ensuite.isEmpty() ? QList<QByteArray>() : QList<QByteArray>({ensuite}));
        QVERIFY(p.comm.Ecrire("X")); // each failure leaves the driver idle
    }

    void arretDemandePendantLAttenteEtGardeDeReentree()
    {
        Poste p;
        auto minuterie = p.banc.plateforme.creerMinuterie();
        bool imbriqueRefuse = false;
        int erreursAvantImbrique = 0;
        minuterie->Timer.connecter([&] {
            minuterie->setEnabled(false);
            erreursAvantImbrique = p.journal.lignes.filter("Erreur").size();
            imbriqueRefuse = !p.comm.Ecrire("AUTRE");
            p.comm.ArréterAttendre();
        });
        minuterie->setInterval(500);
        minuterie->setEnabled(true);
        const quint32 debut = p.banc.plateforme.tickMs();
        QVERIFY(!p.comm.Ecrire("QUESTION", "OUI", 3000));
        QVERIFY(p.banc.plateforme.ecouleDepuis(debut) < 600);
        QVERIFY(imbriqueRefuse);
        QCOMPARE(erreursAvantImbrique, 0);
        QCOMPARE(p.journal.lignes.filter("Erreur").size(), 1); // the refused write raised nothing
        QCOMPARE(p.journal.lignes.last(), "Erreur:" + Windows1252::versTexte(BancLigne::trame("QUESTION")));
        QVERIFY(p.comm.Ecrire("APRES"));
    }

    void gardeBloqueeLibereeParArret()
    {
        // A write still "in progress" (its wait was abandoned from a handler that never
        // returned to it) is let through once a stop was requested.
        Poste p;
        bool interieur = false;
        p.banc.surReceptionPair = [&](const QByteArray &) {
            if (!interieur && p.banc.recuParLePair.endsWith("PREMIER")) {
                interieur = true;
                p.banc.plateforme.planifier(1000, [&] {
                    QVERIFY(!p.comm.Ecrire("REFUSE"));
                    p.comm.ArréterAttendre();
                    QVERIFY(p.comm.Ecrire("ACCEPTE"));
                });
            }
        };
        QVERIFY(!p.comm.Ecrire("PREMIER", "OUI", 3000));
        p.banc.plateforme.executerTout();
        QVERIFY(p.banc.recuParLePair.contains("ACCEPTE"));
        QVERIFY(!p.banc.recuParLePair.contains("REFUSE"));
    }

    void ecrireAttendLaFinDUnMessageEntrant()
    {
        Poste p({.bauds = 9600});
        p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
        QVERIFY(p.comm.Connecter());
        const QByteArray long_ = QByteArray(2000, 'L');
        p.banc.pairEnvoie(BancLigne::trame(long_));
        p.banc.plateforme.avancer(100); // the message is arriving
        qint64 debutEcriture = -1;
        p.banc.surReceptionPair = [&](const QByteArray &) {
            if (debutEcriture < 0)
                debutEcriture = p.banc.plateforme.maintenantUs();
        };
        QVERIFY(p.comm.Ecrire("REPONSE"));
        QCOMPARE(p.journal.receptions, QList<QByteArray>({long_}));
        p.banc.plateforme.executerTout();
        // 2004 bytes at 960 bytes/s: our write left only after the message was all in.
        QVERIFY(debutEcriture > 2004 * 1e6 / 960);
        QVERIFY(p.banc.recuParLePair.endsWith("REPONSE"));
    }

    void destructionPendantUneAttente()
    {
        auto banc = std::make_unique<BancLigne>();
        auto comm = std::make_unique<FComm>(banc->env());
        comm->msNumPort = "COM1:";
        banc->plateforme.planifier(300'000, [&] { comm.reset(); });
        QVERIFY(!comm->Ecrire("QUESTION", "OUI", 3000));
        QVERIFY(!comm);
    }
};

QTEST_GUILESS_MAIN(TstEcritureCommande)
#include "tst_ecriture_commande.moc"
