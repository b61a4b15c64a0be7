// The line driver in virtual time: opening the port, frames as they arrive however cut,
// commands crossing our wait, the modem's result codes, a carrier lost mid-frame, noise.
#include "tests/support/BancLigne.h"
#include "tests/support/PortComSimule.h"

#include <QTest>

class TstFComm : public QObject
{
    Q_OBJECT

    using Poste = PiloteSurLigne;

private slots:
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
        // No modem on the line: whatever the other end writes is data.
        for (const char *code : {"NO CARRIER", "RING", "CONNECT 9600", "BUSY"})
            QTest::addRow("sans modem : %s", code) << "SANS" + QByteArray("\r\n") + code + "\r\n" << QStringList() << true;
        // Connected, the modem passes data: only the loss of the carrier is its own.
        QTest::newRow("connecté : RING") << QByteArray("EN LIGNE\r\nRING\r\n") << QStringList() << true;
        QTest::newRow("connecté : CONNECT") << QByteArray("EN LIGNE\r\nCONNECT 9600\r\n") << QStringList() << true;
        QTest::newRow("connecté : NO CARRIER") << QByteArray("EN LIGNE\r\nNO CARRIER\r\n") << perdue("Pas de porteuse.") << true;
    }

    void codesDeResultat()
    {
        QFETCH(QByteArray, flux);
        QFETCH(QStringList, attendu);
        QFETCH(bool, decoupe);
        const bool sansModem = flux.startsWith("SANS"), enLigne = flux.startsWith("EN LIGNE");
        flux.remove(0, sansModem ? 4 : enLigne ? 8 : 0);
        for (int taille : decoupe ? QList<int>{0, 1, 2, 3, 4, 5} : QList<int>{0}) {
            Poste p;
            p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
            QVERIFY(p.comm.Connecter());
            p.comm.setLigneSansModem(sansModem);
            if (enLigne)
                p.comm.PortEvent_Lecture("\r\nCONNECT 115200\r\n");
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
    // echoes what we write, and the echo is dropped; after it only the other station can
    // have sent it. Either way the answer behind it counts.
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
        QVERIFY(p.comm.Ecrire("XFFIN00000000", "OKFICHIER", 3000, true, &recu));
        p.banc.plateforme.executerTout();
        QCOMPARE(p.banc.tramesRecues.contains("OKFICHIER"), connecte);
    }

    // A port that tells the carrier has the word once connected: "NO CARRIER" written by the
    // other end is data, and the port's fall ends the link.
    void porteuseDiteParLePort()
    {
        Poste p;
        p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
        QVERIFY(p.comm.Connecter());
        auto &port = static_cast<PortComSimule &>(*p.comm.Port);
        port.signalerPorteuse(true);
        p.comm.PortEvent_Lecture("\r\nCONNECT 115200\r\n");
        p.journal.lignes.clear();
        p.comm.PortEvent_Lecture("\r\nNO CARRIER\r\n" + BancLigne::trame("XFA") + "\r\nNO CARRIER\r\n");
        QCOMPARE(p.journal.lignes, QStringList({"Reception:XFA"}));
        port.signalerPorteuse(false);
        QCOMPARE(p.journal.lignes, QStringList({"Reception:XFA", "Reception:Pas de porteuse.", "ModemEtatConnexion:0"}));
    }

    // Behind the answer a wait took, a few frames wait for its end, in order; the rest is
    // dropped and counted, and said once.
    void tramesDerriereLaReponse()
    {
        Poste p({.bauds = 115200, .tailleBloc = 1 << 20, .decoupage = Decoupage::Blocs});
        p.comm.Reception.connecter([&](const QByteArray &) { p.comm.TexteReçu_Clear(); });
        QByteArray flot = BancLigne::trame("OKFICHIER");
        for (int i = 0; i < 20; ++i)
            flot += BancLigne::trame("OKFICHIER " + QByteArray::number(i));
        p.banc.surReceptionPair = [&](const QByteArray &) {
            if (p.banc.recuParLePair.endsWith("XFFIN"))
                p.banc.pairEnvoie(flot, 5);
        };
        QVERIFY(p.comm.Connecter());
        QByteArray recu;
        QVERIFY(p.comm.Ecrire("XFFIN", "OKFICHIER", 3000, true, &recu));
        QCOMPARE(recu, QByteArray("OKFICHIER"));
        p.banc.plateforme.executerTout();
        QList<QByteArray> attendues;
        for (int i = 0; i < FComm::differesMax; ++i)
            attendues << "OKFICHIER " + QByteArray::number(i);
        QCOMPARE(p.journal.receptions, attendues);
        QCOMPARE(p.journal.lignes.filter("Trop de trames reçues pendant une attente").size(), 1);
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
        p.journal.lignes.clear();
        // Once open, a port closed by Déconnecter opens again as it was.
        for (int i = 0; i < 2; ++i)
            QVERIFY(p.comm.Connecter() && p.comm.Port->Actif() && p.comm.Déconnecter() && !p.comm.Port->Actif());
        QCOMPARE(p.banc.ports.portsObtenus(), 2);
        QCOMPARE(p.journal.lignes.filter("Information:Port de communication ouvert").size(), 2);
    }
};

QTEST_GUILESS_MAIN(TstFComm)
#include "tst_fcomm.moc"
