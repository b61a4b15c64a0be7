// Bringing a link up and down against emulated modems, in virtual time.
#include "link/ConnexionModem.h"
#include "platform/Minuterie.h"
#include "tests/support/BancLigne.h"
#include "tests/support/CanalSimule.h"
#include "tests/support/DeuxStationsSurModems.h"
#include "tests/support/StationSurLigne.h"
#include "tests/support/Terminal.h"

#include <QTest>

namespace {

QStringList parametrages(const QStringList &informations)
{
    return informations.filter(QRegularExpression("^(Echec de p|P)aramétrage "));
}
}

class TstConnexionModem : public QObject
{
    Q_OBJECT

    // Records what the station writes to the modem on cable 1.
    static void espionner(BancModems &s, QByteArray &versModem1)
    {
        s.cable1.b().brancher(s.modem1.get(), [&s, &versModem1](const QByteArray &o) {
            versModem1 += o;
            s.modem1->depuisTerminal(o);
        });
    }

private slots:
    // The connection alone, against a modem and a user the test plays.
    void connexionSeule_data()
    {
        QTest::addColumn<QString>("numero");
        QTest::addColumn<bool>("appelant");
        QTest::addColumn<bool>("modemRepond");
        QTest::addColumn<int>("finAuPas");
        QTest::addColumn<QByteArray>("dernierVersModem");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QString>("dit");
        QTest::newRow("appelant") << "0123" << true << true << 0 << QByteArray("ATDT0123\r") << 0 << "Attente de réponse...";
        QTest::newRow("appelé") << "0123" << false << true << 0 << QByteArray("ATS0=1\r") << 0 << "Attente d'appel...";
        QTest::newRow("modem muet : deux essais, puis l'utilisateur") << "0123" << false << false << 0 << QByteArray("ATV1\r") << 2
                                                                      << "Echec de paramétrage. (Essai 2)";
        QTest::newRow("câble sans modem") << "DIRECT" << true << false << 0 << QByteArray("ATZ0\r") << 0
                                          << "Pas de modem sur la ligne : câble direct";
        for (int pas = 1; pas <= 6; ++pas)
            QTest::addRow("moteur parti au pas %d", pas) << "0123" << true << true << pas << QByteArray() << 0 << "";
    }

    void connexionSeule()
    {
        QFETCH(QString, numero);
        QFETCH(bool, appelant);
        QFETCH(bool, modemRepond);
        QFETCH(int, finAuPas);
        QFETCH(QByteArray, dernierVersModem);
        QFETCH(int, questions);
        QFETCH(QString, dit);
        QTemporaryDir dossier;
        CanalSimule canal(dossier.path());
        canal.params.NumTelAppel = numero;
        canal.params.PosteAppellant = appelant;
        canal.params.ScriptInit = "ATZ0";
        canal.etatLigne.ligneDirecte = numero == "DIRECT";
        canal.surModem = [&](const QByteArray &) { return modemRepond; };
        canal.finAuPas = finAuPas;
        ConnexionModem connexion(canal);
        const bool etablie = connexion.etablir();
        if (finAuPas > 0) {
            QVERIFY(!etablie);
            QCOMPARE(canal.pas(), finAuPas); // nothing asked once the engine went
            return;
        }
        QVERIFY(etablie);
        QCOMPARE(canal.versModem.value(canal.versModem.size() - 1), dernierVersModem);
        QCOMPARE(canal.questions.size(), questions);
        QCOMPARE(connexion.sansModem(), numero == "DIRECT" && !modemRepond);
        QVERIFY2(canal.informations.contains(dit) || !canal.informations.filter(dit).isEmpty(), qPrintable(canal.informations.join('\n')));
    }

    void scriptsDInitialisation_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("envoyes");
        QTest::addColumn<bool>("initialise");
        QTest::newRow("deux commandes") << "ATZ0|AT&F0" << QStringList({"ATZ0", "AT&F0"}) << true;
        QTest::newRow("deux barres") << "ATZ0||AT&F0" << QStringList({"ATZ0", "AT&F0"}) << true;
        QTest::newRow("une barre seule") << "|" << QStringList() << true;
        QTest::newRow("première en échec, barre finale") << "ATJ|ATZ0|" << QStringList({"ATJ", "ATZ0"}) << true;
        QTest::newRow("première en échec, dernière non envoyée") << "ATJ|ATZ0" << QStringList({"ATJ"}) << false;
    }

    void scriptsDInitialisation()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, envoyes);
        QFETCH(bool, initialise);
        DeuxStationsSurModems s;
        QByteArray versModem1;
        espionner(s, versModem1);
        s.boites.repondreTempo(false); // a second failed try is not retried here
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", ("ScriptInit=" + script + "\nSilencieux=-1\n").toUtf8());
        a.Connecter();
        QStringList essai1;
        for (const QString &ligne : parametrages(s.a.informations)) {
            if (ligne.startsWith("Paramétrage Silencieux") || ligne.startsWith("Echec de paramétrage. (Essai"))
                break;
            if (ligne.startsWith("Paramétrage ") && (essai1.isEmpty() || essai1.last() != ligne.mid(12)))
                essai1 << ligne.mid(12);
        }
        QCOMPARE(essai1, envoyes);
        QCOMPARE(s.a.informations.contains("Paramétrage Silencieux = Oui"), initialise);
        QCOMPARE(s.a.informations.contains("Echec de paramétrage. (Essai 1)"), !initialise);
        if (initialise)
            QVERIFY(versModem1.contains("ATM0\r"));
    }

    void silencieuxEtVitesse_data()
    {
        QTest::addColumn<QByteArray>("cles");
        QTest::addColumn<QString>("libelleVitesse"); // "" when no speed command goes out
        QTest::addColumn<QByteArray>("commandes");
        QTest::newRow("haut-parleur, vitesse blanche") << QByteArray("Silencieux=0\nParamètre vitesse=   \n") << ""
                                                       << QByteArray("ATM1\r");
        QTest::newRow("vitesse") << QByteArray("Paramètre vitesse=&N8\n") << "Vitesse de connexion = &N8"
                                 << QByteArray("ATM1\rAT&N8\r");
    }

    void silencieuxEtVitesse()
    {
        QFETCH(QByteArray, cles);
        QFETCH(QString, libelleVitesse);
        QFETCH(QByteArray, commandes);
        DeuxStationsSurModems s;
        QByteArray versModem1;
        espionner(s, versModem1);
        QVERIFY(s.a.creerConfiguree("COM1:", cles).Connecter());
        QVERIFY(s.a.informations.contains("Paramétrage Silencieux = Non"));
        QVERIFY(versModem1.contains(commandes));
        QCOMPARE(s.a.informations.filter("Vitesse de connexion"),
                 libelleVitesse.isEmpty() ? QStringList() : QStringList({"Paramétrage " + libelleVitesse}));
    }

    void appelSonnerieReponseDeBoutEnBout()
    {
        DeuxStationsSurModems s;
        CInterlocuteur &b = s.b.creerConfiguree("COM2:");
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=2\n");
        QStringList etatsA, etatsB;
        a.ModemEtatConnexionChange.connecter([&](bool c) { etatsA << QString::number(c); });
        b.ModemEtatConnexionChange.connecter([&](bool c) { etatsB << QString::number(c); });
        QVERIFY(b.Connecter());
        QVERIFY(s.b.informations.contains("Paramétrage accepté"));
        QVERIFY(s.b.informations.contains("Attente d'appel..."));
        QCOMPARE(s.b.etats.last(), QStringLiteral("Réinitialisation|0|30"));
        QVERIFY(a.Connecter());
        QVERIFY(s.a.informations.contains("Numérotation du '2' en cours..."));
        QCOMPARE(s.a.informations.last(), QStringLiteral("Attente de réponse..."));
        QCOMPARE(s.a.etats.last(), QStringLiteral("Appel|0|30"));
        s.plateforme.avancer(5000);
        QCOMPARE(etatsA, QStringList({"1"}));
        QCOMPARE(etatsB, QStringList({"1"}));
        QVERIFY(a.ModemEtatConnexion() && b.ModemEtatConnexion());
        QVERIFY(s.a.commandes.contains("Connecté à 38400"));
        QVERIFY(s.b.commandes.contains("Connecté à 38400"));
        QCOMPARE(s.a.etats.last(), QStringLiteral("Surveillance|0|30"));
        // The called station checks the new link itself 1.5 s later, then supervises it.
        QVERIFY(s.b.etats.filter(QRegularExpression("^Réponse")).size() == 1);
        QCOMPARE(s.b.etats.last(), QStringLiteral("Surveillance|0|20"));
        QVERIFY(s.a.commandes.contains("Connexion confirmée"));

        // The caller hangs up in order: the called side loses its carrier.
        a.Déconnecter();
        s.plateforme.avancer(2000);
        QCOMPARE(etatsB.last(), QStringLiteral("0"));
        QCOMPARE(s.a.etats.last(), QStringLiteral("Non définie|0|0"));
        QCOMPARE(s.modem1->etat(), ModemHayes::Etat::Repos);
    }

    void directEtNumeros()
    {
        DeuxStationsSurModems s;
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=DIRECT\n");
        QVERIFY(a.Connecter());
        QVERIFY(s.a.informations.contains("Connexion directe..."));
        QVERIFY(s.a.informations.filter("Numérotation").isEmpty());
        QVERIFY(s.a.informations.filter("Temps d'attente de réponse écoulé. (OUI / YAQUELQUUN?)").size() == 1);

        DeuxStationsSurModems t;
        QByteArray versModem1;
        espionner(t, versModem1);
        CInterlocuteur &b = t.a.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=direct\n");
        QVERIFY(b.Connecter());
        t.plateforme.avancer(100); // the last command is still on the cable
        QVERIFY(versModem1.contains("ATDTdirect\r"));
        QVERIFY(t.a.informations.contains("Le numéro 'direct' contient des caractères qu'un modem ne compose pas."));

        DeuxStationsSurModems u;
        CInterlocuteur &c = u.a.creerConfiguree("COM1:", "PosteAppellant=-1\n");
        QVERIFY(c.Connecter());
        QVERIFY(u.a.informations.contains("Paramétrage Attente d'appel..."));
    }

    void connecterReentreEtPortAbsent()
    {
        DeuxStationsSurModems s;
        CInterlocuteur &a = s.a.creerConfiguree("COM1:");
        bool imbrique = true;
        s.plateforme.planifier(500'000, [&] { imbrique = a.Connecter(); });
        QVERIFY(a.Connecter());
        QVERIFY(!imbrique);

        DeuxStationsSurModems t;
        QByteArray versModem1;
        espionner(t, versModem1);
        CInterlocuteur &b = t.a.creerConfiguree("COM7:");
        QVERIFY(b.Connecter());
        QCOMPARE(t.boites.boites.size(), 1);
        QVERIFY(versModem1.isEmpty());
        QCOMPARE(t.a.etats.last(), QStringLiteral("Réinitialisation|0|30"));
        QVERIFY(b.TimeOut()->Enabled());
        QVERIFY(!t.a.proprietaire.sablier);
    }

    void raccrochage_data()
    {
        QTest::addColumn<bool>("appelant");
        QTest::addColumn<bool>("dejaPerdue"); // the line dropped first: nothing to write, the port not reopened
        QTest::newRow("appelant : STOP, +++, ATH0, ATZ0") << true << false;
        QTest::newRow("appelé : STOP, ATZ0") << false << false;
        QTest::newRow("après une perte de ligne : rien") << true << true;
    }

    void raccrochage()
    {
        QFETCH(bool, appelant);
        QFETCH(bool, dejaPerdue);
        DeuxStationsSurModems s;
        QByteArray versModem1;
        espionner(s, versModem1);
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", appelant ? "PosteAppellant=-1\n" : "");
        QVERIFY(a.FrmComm->Connecter());
        if (dejaPerdue)
            QVERIFY(a.FrmComm->Déconnecter());
        const quint32 debut = s.plateforme.tickMs();
        a.Déconnecter();
        s.plateforme.avancer(100);
        QVERIFY(!a.FrmComm->Port->Actif());
        if (dejaPerdue) {
            QVERIFY(s.plateforme.ecouleDepuis(debut) < 200);
            QVERIFY(versModem1.isEmpty());
            return;
        }
        QCOMPARE(versModem1.contains("+++"), appelant);
        QCOMPARE(versModem1.contains("ATH0\r"), appelant);
        QVERIFY(versModem1.endsWith("ATZ0\r"));
        QVERIFY(versModem1.startsWith(BancLigne::trame("STOP")));
        QCOMPARE(s.a.etats.first().section('|', 0, 0), QStringLiteral("Déconnexion"));
        QCOMPARE(s.a.etats.last(), QStringLiteral("Non définie||0"));
    }

    void raccrocherFaceAUnModemNu()
    {
        // The other end is a bare modem that ignores STOP: our own "+++" and ATH0 hang up,
        // before the port closes.
        DeuxStationsSurModems s;
        Terminal nu(s.cable2, s.plateforme);
        nu.taper("ATS0=1\r");
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=2\n");
        QVERIFY(a.Connecter());
        s.plateforme.avancer(5000);
        QCOMPARE(s.modem1->etat(), ModemHayes::Etat::Donnees);
        ModemHayes::Etat etatALaFermeture = ModemHayes::Etat::Donnees;
        a.FrmComm->Information.connecter([&](const QString &t) {
            if (t == "Port de communication fermé")
                etatALaFermeture = s.modem1->etat();
        });
        a.Déconnecter();
        QCOMPARE(etatALaFermeture, ModemHayes::Etat::Repos);
        QVERIFY(nu.recu.contains("NO CARRIER"));
    }

    void cinquiemeErreurPendantUneConnexionDirecte()
    {
        // The link test inside Connecter is the fifth error in a row: the reconnection it
        // asks for comes while Connecter runs, and the station must stay supervised.
        DeuxStationsSurModems s;
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=DIRECT\n");
        a.NbreErreurs.fixer(4);
        QVERIFY(a.Connecter());
        QVERIFY(a.TimeOut()->Enabled());
        QCOMPARE(s.a.etats.last().section('|', 0, 0), QStringLiteral("Réinitialisation"));
    }

    void modemEteint_data()
    {
        QTest::addColumn<bool>("confirme");
        QTest::newRow("boîte refusée") << false;
        QTest::newRow("compte à rebours écoulé") << true;
    }

    void modemEteint()
    {
        // Nothing answers on the line: two tries, then the box; its countdown is virtual time.
        QFETCH(bool, confirme);
        StationSurLigne s;
        CInterlocuteur &a = s.creerConfiguree("COM1:");
        if (!confirme)
            s.boites.repondreTempo(false, 3000);
        const quint32 debut = s.plateforme.tickMs();
        QCOMPARE(a.Connecter(), confirme);
        const quint32 duree = s.plateforme.ecouleDepuis(debut);
        QVERIFY(s.informations.contains("Echec de paramétrage. (Essai 1)"));
        QVERIFY(s.informations.contains("Echec de paramétrage. (Essai 2)"));
        QCOMPARE(s.informations.filter("Echec de paramétrage ATZ0").size(), 4);
        QCOMPARE(s.boites.boitesTempo.first().message,
                 QStringLiteral("Le modem 'A' ne semble pas connecté.\r\nPeut être n'est-il pas allumé ou branché."));
        QCOMPARE(s.boites.boitesTempo.first().tempsRestant, 20);
        // Per try: the script (2 x 1 s + 1 s pause), a hang-up (2 s), 2 s + 5 s of pauses.
        if (!confirme) {
            QVERIFY2(duree >= 12000 + 3000 + 5000 && duree < 22000, qPrintable(QString::number(duree)));
            return;
        }
        QCOMPARE(s.boites.boitesTempo.size(), 2);
        QCOMPARE(s.boites.boitesTempo[1].titre, QStringLiteral("Modem non initialisé"));
        QVERIFY2(duree >= 12000 * 2 + 20000 + 3000 + 30000 && duree < 90000, qPrintable(QString::number(duree)));
        QCOMPARE(s.etats.last(), QStringLiteral("Réinitialisation|5|30"));
    }

    void modemsInhabituels()
    {
        // A modem that echoes nothing and answers in numbers, another that answers garbage.
        DeuxStationsSurModems s;
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=2\nScriptInit=ATE0V0\n");
        s.boites.repondreTempo(false);
        QVERIFY(!a.Connecter()); // "0" is not "OK": it is treated as absent
        QCOMPARE(s.boites.boitesTempo.size(), 1);

        StationSurLigne t;
        t.surReceptionPair = [&](const QByteArray &) { t.pairEnvoie("\r\n#@!?\r\n", 10); };
        CInterlocuteur &b = t.creerConfiguree("COM1:");
        QVERIFY(b.Connecter());
        QVERIFY(t.informations.contains("Echec de paramétrage"));
    }

    void scriptsLongs_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::newRow("100") << 100;
        QTest::newRow("1000") << 1000;
    }

    void scriptsLongs()
    {
        QFETCH(int, pieces);
        DeuxStationsSurModems s;
        QStringList morceaux;
        for (int i = 0; i < pieces; ++i)
            morceaux << QStringLiteral("ATS%1=%2").arg(20 + i % 10).arg(i % 200);
        CInterlocuteur &a = s.a.creerConfiguree("COM1:", ("ScriptInit=" + morceaux.join('|') + "\n").toUtf8());
        const quint32 debut = s.plateforme.tickMs();
        a.Connecter();
        const quint32 duree = s.plateforme.ecouleDepuis(debut);
        if (pieces == 100) {
            // Each command: its answer, then the 1000 ms pause.
            QCOMPARE(s.a.informations.filter(QRegularExpression("^Paramétrage ATS")).size(), 100);
            QVERIFY2(duree > 100 * 1000 && duree < 100 * 1100 + 10000, qPrintable(QString::number(duree)));
            return;
        }
        // Longer than the supervision's patience: it resets the link in the middle, and the
        // rest of the script fails; nothing hangs: each piece costs at most 3 s a try, and each
        // reset inside the wait (every 30 s) about 5 s more.
        QVERIFY(s.a.informations.contains("Aucune nouvelle, réinitialisation..."));
        QVERIFY2(qint64(duree) < 2LL * pieces * 3000 * 6 / 5 + 120'000, qPrintable(QString::number(duree)));
    }
};

QTEST_GUILESS_MAIN(TstConnexionModem)
#include "tst_connexion_modem.moc"
