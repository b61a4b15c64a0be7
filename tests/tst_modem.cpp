// The modem emulator, driven as a terminal program would: raw bytes on the cable.
#include "tests/support/BancModems.h"
#include "tests/support/Terminal.h"

#include <QTest>

Q_DECLARE_METATYPE(ReglagesModem)

class TstModem : public QObject
{
    Q_OBJECT

private slots:
    void commandesEtCodesResultat_data()
    {
        QTest::addColumn<QByteArray>("tape");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("AT") << QByteArray("AT\r") << QByteArray("AT\r\r\nOK\r\n");
        QTest::newRow("minuscules, plusieurs") << QByteArray("atz0 m1 v1\r") << QByteArray("atz0 m1 v1\r\r\nOK\r\n");
        QTest::newRow("script du système") << QByteArray("AT&F0&C0S0=1&N8N0S37=11\r") << QByteArray("AT&F0&C0S0=1&N8N0S37=11\r\r\nOK\r\n");
        QTest::newRow("inconnue") << QByteArray("ATJ\r") << QByteArray("ATJ\r\r\nERROR\r\n");
        QTest::newRow("registre mal formé") << QByteArray("ATS0\r") << QByteArray("ATS0\r\r\nERROR\r\n");
        QTest::newRow("sans AT") << QByteArray("bonjour\r") << QByteArray("bonjour\r");
        QTest::newRow("sans écho") << QByteArray("ATE0\rAT\r") << QByteArray("ATE0\r\r\nOK\r\n\r\nOK\r\n");
        QTest::newRow("codes numériques") << QByteArray("ATE0V0\rATJ\r") << QByteArray("ATE0V0\r0\r4\r");
        QTest::newRow("lecture de registre") << QByteArray("ATE0S0=3\rATS0?\r") << QByteArray("ATE0S0=3\r\r\nOK\r\n\r\n003\r\n\r\nOK\r\n");
        QTest::newRow("trop long") << "AT" + QByteArray(300, 'M') + "\r" << "AT" + QByteArray(300, 'M') + "\r\r\nERROR\r\n";
        QTest::newRow("numéro avec lettres") << QByteArray("ATE0DT12AB\r") << QByteArray("ATE0DT12AB\r\r\nERROR\r\n");
        QTest::newRow("ATA sans appel") << QByteArray("ATE0A\r") << QByteArray("ATE0A\r\r\nERROR\r\n");
    }

    void commandesEtCodesResultat()
    {
        QFETCH(QByteArray, tape);
        QFETCH(QByteArray, attendu);
        BancModems banc;
        Terminal t(banc.cable1, banc.plateforme);
        banc.modem1->setDtr(true);
        QCOMPARE(t.taper(tape), attendu);
    }

    void appelSonnerieReponseEtDonnees()
    {
        BancModems banc;
        Terminal a(banc.cable1, banc.plateforme), b(banc.cable2, banc.plateforme);
        a.taper("ATE0\r");
        b.taper("ATE0S0=2\r");
        b.recu.clear();
        a.taper("ATDT2\r", 0);
        banc.plateforme.avancer(1500);
        QCOMPARE(b.recu, QByteArray("\r\nRING\r\n"));
        banc.plateforme.avancer(6000 + 2000 + 100);
        QCOMPARE(a.recu, QByteArray("\r\nCONNECT 38400\r\n"));
        QVERIFY(b.recu.endsWith("\r\nRING\r\n\r\nCONNECT 38400\r\n"));
        QCOMPARE(banc.modem1->etat(), ModemHayes::Etat::Donnees);

        // Data at the line's rate: 3840 bytes take a second.
        const QByteArray donnees = QByteArray(3840, 'd') + "+++ATH0\r";
        b.recu.clear();
        a.taper(donnees, 900);
        QVERIFY(b.recu.size() < donnees.size());
        banc.plateforme.avancer(200);
        QCOMPARE(b.recu, donnees); // "+++" inside data is data

        // "+++" written apart but too soon after data, or "++++" after a silence: data.
        b.recu.clear();
        a.taper("d", 200);
        QVERIFY(a.taper("+++", 1500).isEmpty());
        banc.plateforme.avancer(1100);
        QVERIFY(a.taper("++++", 1500).isEmpty());
        QCOMPARE(b.recu, QByteArray("d+++++++"));
        QCOMPARE(banc.modem1->etat(), ModemHayes::Etat::Donnees);

        // "+++" alone between two silences: back to command mode, then hang up.
        banc.plateforme.avancer(1100);
        QCOMPARE(a.taper("+++", 1100), QByteArray("\r\nOK\r\n"));
        b.recu.clear();
        QCOMPARE(a.taper("ATH0\r"), QByteArray("\r\nOK\r\n"));
        QCOMPARE(b.recu, QByteArray("\r\nNO CARRIER\r\n"));
        QCOMPARE(banc.modem2->etat(), ModemHayes::Etat::Repos);
    }

    void ligneDeCommandeBornee()
    {
        // 300 characters without a carriage return, then another computer: its AT works.
        BancModems banc;
        {
            Terminal a(banc.cable1, banc.plateforme);
            a.taper(QByteArray(300, 'A'));
        }
        Terminal a(banc.cable1, banc.plateforme);
        QCOMPARE(a.taper("AT\r"), QByteArray("AT\r\r\nOK\r\n"));
    }

    void fermerLePortRaccroche()
    {
        BancModems banc;
        Terminal b(banc.cable2, banc.plateforme);
        b.taper("ATE0S0=1\r");
        {
            Terminal a(banc.cable1, banc.plateforme);
            a.taper("ATE0DT2\r", 5000);
            QVERIFY(a.recu.contains("CONNECT"));
            b.recu.clear();
        } // the computer closes its port: DTR drops
        banc.plateforme.avancer(100);
        QCOMPARE(b.recu, QByteArray("\r\nNO CARRIER\r\n"));
    }

    void latenceDeLaLigne_data()
    {
        QTest::addColumn<ReglagesModem>("appelant");
        QTest::addColumn<ReglagesModem>("appele");
        QTest::addColumn<quint32>("latenceMs");
        QTest::newRow("aucune") << ReglagesModem{} << ReglagesModem{} << 0u;
        QTest::newRow("chez l'appelant") << ReglagesModem{.latenceMs = 150} << ReglagesModem{} << 150u;
        QTest::newRow("la plus longue des deux") << ReglagesModem{.latenceMs = 20} << ReglagesModem{.latenceMs = 100} << 100u;
    }

    void latenceDeLaLigne()
    {
        // Each way, a byte reaches the other modem's computer that long after its own time on the line.
        QFETCH(ReglagesModem, appelant);
        QFETCH(ReglagesModem, appele);
        QFETCH(quint32, latenceMs);
        BancModems banc(appelant, appele);
        Terminal a(banc.cable1, banc.plateforme), b(banc.cable2, banc.plateforme);
        b.taper("ATE0S0=1\r");
        a.taper("ATE0DT2\r", 10'000);
        QVERIFY(b.recu.endsWith("CONNECT 38400\r\n"));
        for (auto [de, vers] : {std::pair{&a, &b}, std::pair{&b, &a}}) {
            vers->recu.clear();
            de->taper("x", 0);
            banc.plateforme.avancer(latenceMs);
            QCOMPARE(vers->recu, QByteArray());
            banc.plateforme.avancer(2); // the byte's own time, cables and line
            QCOMPARE(vers->recu, QByteArray("x"));
        }
    }

    void defauts_data()
    {
        QTest::addColumn<ReglagesModem>("appelant");
        QTest::addColumn<ReglagesModem>("appele");
        QTest::addColumn<QByteArray>("numero");
        QTest::addColumn<quint32>("apresMs");
        QTest::addColumn<QByteArray>("attendu");
        QTest::newRow("pas de tonalité") << ReglagesModem{.sansTonalite = true} << ReglagesModem{} << QByteArray("2") << 2500u
                                         << QByteArray("\r\nNO DIAL TONE\r\n");
        QTest::newRow("occupé") << ReglagesModem{} << ReglagesModem{.occupe = true} << QByteArray("2") << 3500u
                                << QByteArray("\r\nBUSY\r\n");
        QTest::newRow("ne répond jamais") << ReglagesModem{} << ReglagesModem{.sansReponse = true} << QByteArray("2") << 50'500u
                                          << QByteArray("\r\nNO CARRIER\r\n");
        QTest::newRow("numéro inconnu") << ReglagesModem{} << ReglagesModem{} << QByteArray("9") << 50'500u
                                        << QByteArray("\r\nNO CARRIER\r\n");
        QTest::newRow("porteuse perdue") << ReglagesModem{.coupureApresMs = 4000} << ReglagesModem{} << QByteArray("2") << 8000u
                                         << QByteArray("\r\nCONNECT 38400\r\n\r\nNO CARRIER\r\n");
    }

    void defauts()
    {
        QFETCH(ReglagesModem, appelant);
        QFETCH(ReglagesModem, appele);
        QFETCH(QByteArray, numero);
        QFETCH(quint32, apresMs);
        QFETCH(QByteArray, attendu);
        BancModems banc(appelant, appele);
        Terminal a(banc.cable1, banc.plateforme), b(banc.cable2, banc.plateforme);
        b.taper("ATE0S0=1\r");
        a.taper("ATE0\r");
        a.recu.clear();
        a.taper("ATDT" + numero + "\r", apresMs);
        QCOMPARE(a.recu, attendu);
        QCOMPARE(banc.modem1->etat(), ModemHayes::Etat::Repos);
    }
};

QTEST_GUILESS_MAIN(TstModem)
#include "tst_modem.moc"
