#include "platform/Windows1252.h"
#include "tests/support/BancLigne.h"

#include <QTest>

class TstFComm : public QObject
{
    Q_OBJECT

    struct Poste
    {
        explicit Poste(LigneSimulee::Reglages r = {}) : banc(r), comm(banc.env()), journal(comm)
        {
            comm.msNumPort = QStringLiteral("COM1:");
        }
        BancLigne banc;
        FComm comm;
        JournalFComm journal;
    };

private slots:
    void ecritureVideEtTrameVide()
    {
        Poste p;
        QVERIFY(p.comm.Ecrire(QByteArray(), QByteArray(), 2000, false));
        p.banc.plateforme.executerTout();
        QVERIFY(p.banc.recuParLePair.isEmpty());
        QVERIFY(p.comm.Ecrire(QByteArray()));
        p.banc.plateforme.executerTout();
        QCOMPARE(p.banc.recuParLePair, QByteArray("\x02\0\0\0", 4));
        QCOMPARE(p.journal.lignes, QStringList({"Information:Port de communication ouvert"}));
    }

    void progressionDEmission_data()
    {
        QTest::addColumn<int>("longueur");
        QTest::addColumn<QStringList>("progression");
        QTest::newRow("508: rien") << 508 << QStringList();
        QTest::newRow("509") << 509 << QStringList({"ProgressEmission:513/513", "ProgressEmission:1024/513"});
        QTest::newRow("1000") << 1000 << QStringList({"ProgressEmission:513/1004", "ProgressEmission:1024/1004"});
        QTest::newRow("1100") << 1100
                              << QStringList({"ProgressEmission:513/1104", "ProgressEmission:1025/1104",
                                              "ProgressEmission:1536/1104"});
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
        QTest::newRow("réplique tramée : le délai s'allonge le temps qu'elle arrive")
            << QByteArray("CMD") << QByteArray("okfichier") << 100 << true << BancLigne::trame(longue) << 10 << 10 << longue << 0
            << "" << QByteArray();
        QTest::newRow("réplique entière qui ne commence pas par la réponse")
            << QByteArray("CMD2") << QByteArray("OKFICHIER") << 500 << true << BancLigne::trame("NON OKFICHIER") << 5 << 0
            << QByteArray() << 500 << ecoule + "(OKFICHIER / CMD2)" << QByteArray();
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

    void codesDeResultat_data()
    {
        // One code is reported once however the port cuts it (whole, or 1 to 5 bytes at a
        // time), the owner emptying the buffer at each notification.
        QTest::addColumn<QByteArray>("flux");
        QTest::addColumn<QStringList>("attendu");
        QTest::addColumn<bool>("decoupe");
        const auto perdue = [](const char *texte) { return QStringList({QString("Reception:") + texte, "ModemEtatConnexion:0"}); };
        QTest::newRow("CONNECT 38400") << QByteArray("\r\nCONNECT 38400\r\n")
                                       << QStringList({"Reception:Connecté à 38400", "ModemEtatConnexion:1"}) << true;
        QTest::newRow("CONNECT 9600") << QByteArray("\r\nCONNECT 9600\r\n")
                                      << QStringList({"Reception:Connecté à 9600\r", "ModemEtatConnexion:1"}) << true;
        QTest::newRow("RING") << QByteArray("\r\nRING\r\n") << QStringList({"Reception:RING"}) << true;
        QTest::newRow("RING sans fin de ligne") << QByteArray("\r\nRING") << QStringList({"Reception:RING"}) << true;
        QTest::newRow("NO CARRIER") << QByteArray("\r\nNO CARRIER\r\n") << perdue("Pas de porteuse.") << true;
        QTest::newRow("BUSY") << QByteArray("\r\nBUSY\r\n") << perdue("Le poste est occupé.") << true;
        QTest::newRow("NO DIAL TONE") << QByteArray("\r\nNO DIAL TONE\r\n") << perdue("Pas de tonalité.") << true;
        QTest::newRow("CONNECT 1 attend") << QByteArray("\r\nCONNECT 1") << QStringList() << true;
        QTest::newRow("casse exacte") << QByteArray("\r\nring\r\n\r\nBusy\r\n") << QStringList() << true;
        QTest::newRow("BUSY puis CONNECT d'un bloc") << QByteArray("\r\nBUSY\r\n\r\nCONNECT 38400\r\n")
                                                    << QStringList({"Reception:Connecté à 38400", "ModemEtatConnexion:1"}) << false;
    }

    void codesDeResultat()
    {
        QFETCH(QByteArray, flux);
        QFETCH(QStringList, attendu);
        QFETCH(bool, decoupe);
        for (int taille : decoupe ? QList<int>{0, 1, 2, 3, 4, 5} : QList<int>{0}) {
            Poste p;
            p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
            QVERIFY(p.comm.Connecter());
            p.journal.lignes.clear();
            for (qsizetype i = 0; i < flux.size(); i += taille ? taille : flux.size())
                p.comm.PortEvent_Lecture(flux.mid(i, taille ? taille : flux.size()));
            QVERIFY2(p.journal.lignes == attendu, qPrintable(QString::number(taille) + ": " + p.journal.lignes.join('|')));
        }
    }

    void messageTrameNonSollicite()
    {
        Poste p({.bauds = 38400, .tailleBloc = 16, .decoupage = Decoupage::Blocs});
        p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
        QVERIFY(p.comm.Connecter());
        p.journal.lignes.clear();
        // Split over many blocks, with a "RING" inside: one delivery, the RING is data.
        const QByteArray texte = "MESSAGE=bonjour\r\nRING\r\n" + QByteArray(160, 'z');
        p.banc.pairEnvoie("bruit" + BancLigne::trame(texte));
        p.banc.plateforme.executerTout();
        QCOMPARE(p.journal.receptions, QList<QByteArray>({texte}));
        QVERIFY(!p.journal.lignes.filter("ProgressRecept").isEmpty());
        QCOMPARE(p.journal.lignes.filter("ProgressRecept").last(), QStringLiteral("ProgressRecept:167/183"));

        // A zero length leaves its three header characters in the delivered text.
        p.journal.receptions.clear();
        p.comm.PortEvent_Lecture(QByteArray("\x02\0\0\0", 4));
        QCOMPARE(p.journal.receptions, QList<QByteArray>({QByteArray(3, '\0')}));

    }

    void trameDecoupeeNImporteOu_data()
    {
        QTest::addColumn<bool>("reponseAttendue");
        QTest::newRow("message spontané") << false;
        QTest::newRow("réponse attendue") << true;
    }

    void trameDecoupeeNImporteOu()
    {
        // Every cut of a frame, noise before it included, on both receiving paths.
        QFETCH(bool, reponseAttendue);
        const QByteArray texte = "OKFICHIER" + QByteArray(60, 'r');
        const QByteArray flux = "\r\nbruit" + BancLigne::trame(texte);
        for (int taille = 1; taille <= 6; ++taille) {
            Poste p({.bauds = 115200, .tailleBloc = taille, .decoupage = Decoupage::Blocs});
            p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
            QByteArray recu;
            if (reponseAttendue) {
                p.banc.surReceptionPair = [&](const QByteArray &) {
                    if (p.banc.recuParLePair.endsWith("FICHIER"))
                        p.banc.pairEnvoie(flux, 5);
                };
                QVERIFY(p.comm.Ecrire("FICHIER", "OKFICHIER", 2000, true, &recu));
            } else {
                QVERIFY(p.comm.Connecter());
                p.banc.pairEnvoie(flux);
                p.banc.plateforme.executerTout();
                QCOMPARE(p.journal.receptions.size(), 1);
                recu = p.journal.receptions[0];
            }
            QCOMPARE(recu, texte);
            QVERIFY(p.journal.lignes.filter("Erreur").isEmpty());
        }
    }

    void tramesColleesEtCommandesCroisees()
    {
        // A frame is exactly its announced length: what follows begins the next frame.
        Poste p;
        p.comm.estCommande = [](const QByteArray &t) { return t.startsWith("YAQUELQUUN?") || t.startsWith("MESSAGE="); };
        p.comm.Reception.connecter([&](const QByteArray &t) {
            p.comm.TexteReçu_Clear();
            if (t.startsWith("YAQUELQUUN?"))
                QVERIFY(p.comm.Ecrire("OUI"));
        });
        QVERIFY(p.comm.Connecter());
        p.comm.PortEvent_Lecture(BancLigne::trame("MESSAGE=un") + BancLigne::trame("MESSAGE=deux") + "bruit");
        QCOMPARE(p.journal.receptions, QList<QByteArray>({"MESSAGE=un", "MESSAGE=deux"}));

        // While we wait for OKFICHIER, the other station's link test and message come first:
        // the test is answered at once, and our answer behind them still ends the wait.
        p.journal.receptions.clear();
        p.banc.surReceptionPair = [&](const QByteArray &) {
            if (p.banc.recuParLePair.endsWith("FICHIER"))
                p.banc.pairEnvoie(BancLigne::trame("YAQUELQUUN?CHUT!") + BancLigne::trame("MESSAGE=salut")
                                      + BancLigne::trame("OKFICHIER") + BancLigne::trame("MESSAGE=apres"),
                                  20);
        };
        QByteArray recu;
        QVERIFY(p.comm.Ecrire("FICHIER", "OKFICHIER", 3000, true, &recu));
        QCOMPARE(recu, QByteArray("OKFICHIER"));
        QVERIFY(p.banc.tramesRecues.endsWith("OUI"));
        p.banc.plateforme.executerTout();
        QCOMPARE(p.journal.receptions, QList<QByteArray>({"YAQUELQUUN?CHUT!", "MESSAGE=salut", "MESSAGE=apres"}));
    }

    // Both stations send the same text at once (both end a file): before CONNECT a modem
    // echoes what we write, after it only the other station can have sent it.
    void memeTexteCroise_data()
    {
        QTest::addColumn<bool>("connecte");
        QTest::newRow("mode commande : notre écho") << false;
        QTest::newRow("connecté : la commande de l'autre") << true;
    }

    void memeTexteCroise()
    {
        QFETCH(bool, connecte);
        Poste p;
        p.comm.estCommande = [](const QByteArray &t) { return t.startsWith("XFFIN"); };
        p.comm.Reception.connecter([&](const QByteArray &t) {
            p.comm.TexteReçu_Clear();
            if (t.startsWith("XFFIN"))
                QVERIFY(p.comm.Ecrire("OKFICHIER"));
        });
        QVERIFY(p.comm.Connecter());
        if (connecte) {
            p.banc.pairEnvoie("\r\nCONNECT 115200\r\n");
            p.banc.plateforme.avancer(50);
        }
        p.banc.surReceptionPair = [&](const QByteArray &) {
            if (p.banc.recuParLePair.endsWith("XFFIN00000000"))
                p.banc.pairEnvoie(BancLigne::trame("XFFIN00000000") + BancLigne::trame("OKFICHIER"), 20);
        };
        QByteArray recu;
        QCOMPARE(p.comm.Ecrire("XFFIN00000000", "OKFICHIER", 3000, true, &recu), connecte);
        p.banc.plateforme.executerTout();
        QCOMPARE(p.banc.tramesRecues.contains("OKFICHIER"), connecte);
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

    void enteteAbimee_data()
    {
        QTest::addColumn<QByteArray>("bruit");
        QTest::newRow("16 Mo annoncés") << QByteArray("\x02\xff\xff\xff" "abc", 7);
        QTest::newRow("un de plus que le maximum") << QByteArray("\x02\x00\x10\x01", 4);
        QTest::newRow("STX parasite juste avant") << QByteArray("\x02");
    }

    void enteteAbimee()
    {
        // A header announcing more than any frame is noise: the next frame still arrives.
        QFETCH(QByteArray, bruit);
        Poste p;
        QVERIFY(p.comm.Connecter());
        p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
        p.comm.PortEvent_Lecture(bruit + BancLigne::trame("MESSAGE=bonjour"));
        QCOMPARE(p.journal.receptions, QList<QByteArray>({"MESSAGE=bonjour"}));
        QVERIFY(!p.comm.Ecrire(QByteArray(FComm::longueurTrameMax + 1, 'x')));
        QVERIFY(p.journal.lignes.last().startsWith("Erreur:Erreur de port : [6]"));
        QVERIFY(p.comm.Ecrire(QByteArray(FComm::longueurTrameMax, 'x')));
    }

    void porteusePerdue_data()
    {
        QTest::addColumn<bool>("pendantLEcriture"); // else while a frame arrives
        QTest::addColumn<bool>("suite");            // more bytes of the frame come after the code
        QTest::newRow("pendant l'écriture") << true << false;
        QTest::newRow("au milieu d'une trame reçue") << false << false;
        QTest::newRow("les mots dans une trame qui continue") << false << true;
    }

    void porteusePerdueQuelquesOctetsAvantLaFin()
    {
        // The code makes up the frame's last ten characters and then overflows it.
        Poste p;
        QVERIFY(p.comm.Connecter());
        p.comm.PortEvent_Lecture(FComm::STX + FComm::encoderEntete(50) + QByteArray(40, 'a') + "\r\nNO CARR");
        p.banc.plateforme.avancer(20);
        p.comm.PortEvent_Lecture("IER\r\n");
        p.banc.plateforme.avancer(500);
        QCOMPARE(p.journal.receptions, QList<QByteArray>({"Pas de porteuse."}));
        QVERIFY(p.journal.lignes.contains("ModemEtatConnexion:0"));
    }

    void porteusePerdue()
    {
        QFETCH(bool, pendantLEcriture);
        QFETCH(bool, suite);
        Poste p({.bauds = 9600});
        QVERIFY(p.comm.Connecter());
        const QByteArray noCarrier = "\r\nNO CARRIER\r\n";
        if (pendantLEcriture) {
            // What had not left when the code came is taken back: the modem would read it.
            p.banc.surReceptionPair = [&](const QByteArray &) {
                if (p.banc.recuParLePair.size() < 20)
                    p.banc.pairEnvoie(noCarrier);
            };
            QVERIFY(!p.comm.Ecrire(QByteArray(3000, 'd'), "OKFICHIER", 5000));
            p.banc.plateforme.executerTout();
            QVERIFY2(p.banc.recuParLePair.size() < 100, qPrintable(QString::number(p.banc.recuParLePair.size())));
            QVERIFY(p.journal.lignes.contains("ModemEtatConnexion:0"));
            return;
        }
        const QByteArray trame = BancLigne::trame(QByteArray(40, 'a') + noCarrier + QByteArray(40, 'b'));
        p.comm.PortEvent_Lecture(trame.left(4 + 40 + noCarrier.size()));
        p.banc.plateforme.avancer(suite ? 50 : 250);
        if (suite)
            p.comm.PortEvent_Lecture(trame.mid(4 + 40 + noCarrier.size()));
        p.banc.plateforme.avancer(500);
        QVERIFY2(p.journal.lignes.contains("ModemEtatConnexion:0") == !suite, qPrintable(p.journal.lignes.join("|")));
        QCOMPARE(p.journal.receptions.size(), 1);
        QCOMPARE(p.journal.receptions[0].size(), suite ? 94 : qsizetype(strlen("Pas de porteuse.")));
        // The cut frame does not hold the line: the next call's first write leaves at once.
        const qint64 avant = p.banc.plateforme.maintenantUs();
        QVERIFY(p.comm.Ecrire("OUI"));
        QVERIFY(p.banc.plateforme.maintenantUs() - avant < 1'000'000);
    }

    void bruitSurUneLigneAuRepos()
    {
        Poste p;
        QVERIFY(p.comm.Connecter());
        for (int i = 0; i < 200; ++i)
            p.comm.PortEvent_Lecture(QByteArray(1000, 'x'));
        QVERIFY(p.comm.TexteReçu().size() <= FComm::tailleMaxHorsTrame);
        p.comm.PortEvent_Lecture("\r\nRING\r\n");
        QCOMPARE(p.journal.lignes.last(), QStringLiteral("Reception:RING"));
    }

    void connecterApresDeconnecterRouvreLeMemePort()
    {
        Poste p;
        QVERIFY(p.comm.Connecter());
        QVERIFY(p.comm.Port->Actif());
        QVERIFY(p.comm.Déconnecter());
        QVERIFY(!p.comm.Port->Actif());
        QVERIFY(p.comm.Connecter());
        QCOMPARE(p.banc.ports.portsObtenus(), 1);
        QVERIFY(p.comm.Port->Actif());
        QCOMPARE(p.journal.lignes, QStringList({"Information:Port de communication ouvert", "Information:Port de communication fermé",
                                                "Information:Port de communication ouvert"}));
    }

    void reglagesEtPortsInvalides_data()
    {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("reglages");
        QTest::addColumn<QString>("titreBoite");
        QTest::addColumn<QString>("erreur");
        QTest::newRow("trois champs") << "COM1:" << "38400, n, 8" << "Connecter" << "Erreur:Erreur de port : [9]";
        QTest::newRow("vitesse abc") << "COM1:" << "abc, n, 8, 1" << "Connecter" << "Erreur:Erreur de port : [13]";
        QTest::newRow("parité x") << "COM1:" << "38400, x, 8, 1" << "Ouverture du port COM1:" << "";
        QTest::newRow("vitesse 0") << "COM1:" << "0, n, 8, 1" << "Ouverture du port COM1:" << "";
        QTest::newRow("port absent") << "COM9:" << "38400, n, 8, 1" << "Ouverture du port COM9:" << "";
    }

    void reglagesEtPortsInvalides()
    {
        QFETCH(QString, port);
        QFETCH(QString, reglages);
        QFETCH(QString, titreBoite);
        QFETCH(QString, erreur);
        Poste p;
        p.comm.msNumPort = port;
        p.comm.msSettings = reglages;
        QVERIFY(!p.comm.Connecter());
        QCOMPARE(p.banc.boites.boites.size(), 1);
        QCOMPARE(p.banc.boites.boites[0].titre, titreBoite);
        QVERIFY(!p.banc.boites.boites[0].message.isEmpty());
        if (erreur.isEmpty())
            QVERIFY(p.journal.lignes.isEmpty());
        else
            QVERIFY(p.journal.lignes.size() == 1 && p.journal.lignes[0].startsWith(erreur));
        // Later tries raise no other box; a port that does not open is no line error, and
        // the reason already given is not repeated.
        p.journal.lignes.clear();
        QVERIFY(!p.comm.Connecter());
        QCOMPARE(p.banc.boites.boites.size(), 1);
        QCOMPARE(p.journal.lignes.size(), erreur.isEmpty() ? 0 : 1);
        if (!erreur.isEmpty())
            QVERIFY(p.journal.lignes[0].startsWith("Erreur:"));
        p.comm.LibererPort();
        p.comm.msNumPort = "COM1:";
        p.comm.msSettings = "38400, n, 8, 1";
        QVERIFY(p.comm.Connecter());
        QVERIFY(p.comm.Port->Actif());
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

QTEST_GUILESS_MAIN(TstFComm)
#include "tst_fcomm.moc"
