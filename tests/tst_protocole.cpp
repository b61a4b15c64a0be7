// The dialogue between two stations on a simulated cable, in virtual time.
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "tests/support/BancDeuxPostes.h"
#include "tests/support/BancLigne.h"
#include "tests/support/PosteSurLigne.h"

#include <QDirIterator>
#include <QTest>

#include <random>

namespace {
void recevoir(BancDeuxPostes &banc, PosteSimule &poste, const QByteArray &texte)
{
    poste.poste->FrmComm->PortEvent_Lecture(BancLigne::trame(texte));
    banc.plateforme.avancer(100);
}
}

class TstProtocole : public QObject
{
    Q_OBJECT

private slots:
    void testsDeLiaison_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("chezLeDestinataire");
        QTest::addColumn<bool>("repondOui");
        QTest::newRow("YAQUELQUUN?") << QByteArray("YAQUELQUUN?") << "Connexion confirmée" << true;
        QTest::newRow("YAQUELQUUN? et autre chose") << QByteArray("YAQUELQUUN?xyz") << "Connexion confirmée" << true;
        QTest::newRow("chut") << QByteArray("YAQUELQUUN?CHUT!") << "Connexion, chut!" << true;
        QTest::newRow("minuscules") << QByteArray("yaquelquun?") << "yaquelquun?" << false;
        QTest::newRow("CLK") << QByteArray("CLK01022009134507") << "Connexion confirmée avec synchronisation horaire" << true;
        QTest::newRow("CLK chut") << QByteArray("CLK01022009134507CHUT!") << "Connexion, chut!" << true;
        QTest::newRow("CLK trop court") << QByteArray("CLK010220") << "CLK010220" << false;
        QTest::newRow("OUI tardif") << QByteArray("OUI") << "OUI" << false;
    }

    void testsDeLiaison()
    {
        QFETCH(QByteArray, texte);
        QFETCH(QString, chezLeDestinataire);
        QFETCH(bool, repondOui);
        BancDeuxPostes banc;
        banc.demarrer();
        QStringList versA;
        banc.a.poste->CommandeReçue.connecter([&](const QString &c, QString &) { versA << c; });
        QVERIFY(banc.a.poste->EnvoyerCommande(texte, "", 3000));
        banc.plateforme.avancer(200);
        QCOMPARE(banc.b.commandes, QStringList({chezLeDestinataire}));
        QCOMPARE(versA.contains("OUI"), repondOui); // the answer came after the sender stopped waiting
        QCOMPARE(banc.b.poste->ModemEtatConnexion(), repondOui);
        QCOMPARE(banc.plateforme.reglagesHorloge(), texte.startsWith("CLK") && repondOui ? 1 : 0);
        if (repondOui)
            QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|0|20"));
    }

    void miseALHeure()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        banc.a.poste->SvrHoraire = true;
        QVERIFY(banc.a.poste->TesterConnexion(true));
        QCOMPARE(banc.a.commandes.last(), QStringLiteral("Connexion vérifiée par synchronisation horaire"));
        QCOMPARE(banc.plateforme.reglagesHorloge(), 1);

        banc.plateforme.reglerDateHeure(QDateTime(QDate(2030, 1, 1), QTime(0, 0)), nullptr);
        recevoir(banc, banc.b, "CLK01022009134507");
        QCOMPARE(banc.plateforme.maintenant().date(), QDate(2009, 2, 1));
        QCOMPARE(banc.plateforme.maintenant().time().toString("HH:mm"), QStringLiteral("13:45"));

        // Digits that make no date: the clock stays, and the user is told.
        const int reglages = banc.plateforme.reglagesHorloge();
        recevoir(banc, banc.b, "CLK31022009256107");
        recevoir(banc, banc.b, "CLK0102200913450x");
        QCOMPARE(banc.plateforme.reglagesHorloge(), reglages);
        QCOMPARE(banc.b.informations.filter("Heure reçue invalide").size(), 2);

        // No right to set the clock: said once, not at every test.
        banc.plateforme.refuserReglageHorloge(true);
        recevoir(banc, banc.b, "CLK01022009134507");
        recevoir(banc, banc.b, "CLK01022009134510");
        QCOMPARE(banc.b.informations.filter("Mise à l'heure impossible").size(), 1);
    }

    void stopEtStopIgnorePendantDeconnexion()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        QList<bool> etats;
        banc.b.poste->ModemEtatConnexionChange.connecter([&](bool c) { etats << c; });
        recevoir(banc, banc.b, "STOP");
        banc.plateforme.avancer(5000);
        QVERIFY(banc.b.informations.contains("Le poste distant se déconnecte."));
        QCOMPARE(etats, QList<bool>({false}));
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réinitialisation|5|30"));

        // While B hangs up itself, a STOP from A is dropped.
        BancDeuxPostes banc2;
        banc2.demarrer();
        banc2.plateforme.planifier(500'000, [&] { recevoir(banc2, banc2.b, "STOP"); });
        banc2.b.poste->Déconnecter();
        QVERIFY(!banc2.b.informations.contains("Le poste distant se déconnecte."));
    }

    void ringEtNegociationDuRoleAppelant()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        recevoir(banc, banc.b, "RING");
        QVERIFY(banc.b.informations.contains("Le téléphone sonne..."));
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réinitialisation|5|30"));

        // A already calls: nothing is sent.
        QVERIFY(banc.a.poste->DefinirCePosteEnAppelant());
        QVERIFY(banc.a.informations.contains("Ce poste est 'appelant'."));

        // B wants the role, has no number, and the user cancels the input box.
        QVERIFY(!banc.b.poste->DefinirCePosteEnAppelant());
        QCOMPARE(banc.boites.saisies.last().titre, QStringLiteral("Changement d'appelant"));
        QVERIFY(banc.a.commandes.isEmpty());

        // Now with a number: A gives the role up and saves it.
        banc.boites.repondreSaisie("0102030405");
        banc.boites.repondreTempo(false);
        QVERIFY(banc.b.poste->DefinirCePosteEnAppelant());
        QVERIFY(banc.b.poste->PosteAppellant);
        QVERIFY(lireFichier(banc.b.cheminIni()).contains("PosteAppellant=-1\n"));
        QVERIFY(lireFichier(banc.b.cheminIni()).contains("NumTelAppel=0102030405\n"));
        banc.plateforme.avancer(60000);
        QVERIFY(!banc.a.poste->PosteAppellant);
        QVERIFY(lireFichier(banc.a.cheminIni()).contains("PosteAppellant=0\n"));
        QVERIFY(banc.a.informations.contains("Suite à demande, je deviens 'appellé'..."));
    }

    void cinqErreursDeSuiteReconnectent()
    {
        PosteSurLigne s;
        BancLigne &banc = s.banc;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        p.armer(GenreSupervision::Surveillance);
        for (int i = 0; i < 4; ++i)
            QVERIFY(!p.TesterConnexion(false));
        QCOMPARE(p.NbreErreurs, qint16(4));
        QVERIFY(s.informations.last().endsWith("(3)"));
        QCOMPARE(s.etats.last(), QStringLiteral("Surveillance|5|0")); // sooner next time; stopped while the command is out
        banc.boites.repondreTempo(true, 0);
        banc.boites.repondreTempo(true, 0);
        QVERIFY(!p.TesterConnexion(false));
        QVERIFY(!s.informations.filter(QRegularExpression("\\(4\\)$")).isEmpty());
        QVERIFY(s.etats.filter("Déconnexion").size() >= 1);
        QVERIFY(s.informations.contains("Paramétrage ATZ0"));
    }

    void etatDuModemSelonLeRole()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        CInterlocuteur &a = *banc.a.poste, &b = *banc.b.poste;
        b.TimeOut()->setTag("3");
        b.FrmComm->PortEvent_Lecture("\r\nCONNECT 38400\r\n");
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réponse|3|1"));
        a.FrmComm->PortEvent_Lecture("\r\nCONNECT 38400\r\n");
        QCOMPARE(banc.a.etats.last(), QStringLiteral("Surveillance|0|30"));
        a.FrmComm->TexteReçu_Clear();
        const int avant = banc.a.etats.size();
        a.FrmComm->PortEvent_Lecture("\r\nNO CARRIER\r\n");
        QCOMPARE(banc.a.etats.size(), avant); // caller, not dialling: nothing armed
        QVERIFY(!a.ModemEtatConnexion());
        b.FrmComm->TexteReçu_Clear();
        b.FrmComm->PortEvent_Lecture("\r\nNO CARRIER\r\n");
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réinitialisation|5|30"));
    }
    void echangeQuelQueSoitLeDecoupage_data()
    {
        QTest::addColumn<int>("tailleMin");
        QTest::addColumn<int>("tailleMax");
        QTest::addColumn<quint32>("graine");
        for (int t = 1; t <= 5; ++t)
            QTest::addRow("%d octet(s)", t) << t << t << 1u;
        for (quint32 graine : {1u, 2u, 3u}) {
            QTest::addRow("1 à 16, graine %u", graine) << 1 << 16 << graine;
            QTest::addRow("1 à 600, graine %u", graine) << 1 << 600 << graine;
        }
    }

    void echangeQuelQueSoitLeDecoupage()
    {
        // The port hands frames and replies over in pieces cut anywhere, STX and header included.
        QFETCH(int, tailleMin);
        QFETCH(int, tailleMax);
        QFETCH(quint32, graine);
        BancDeuxPostes banc({.bauds = 115200, .tailleBloc = tailleMax, .graine = graine, .tailleMin = tailleMin});
        banc.demarrer();
        CInterlocuteur &a = *banc.a.poste, &b = *banc.b.poste;
        std::mt19937 alea(graine);
        const auto envoyer = [&](PosteSimule &de, PosteSimule &vers, int taille) {
            QByteArray contenu(taille, Qt::Uninitialized);
            for (char &c : contenu)
                c = char(alea());
            const QString fichier = de.chemin("envoi/parts.bin");
            ecrireFichier(fichier, contenu);
            QVERIFY(de.poste->EnvoyerFichier(fichier));
            QCOMPARE(vers.fichiersRecus.size(), 1);
            QCOMPARE(lireFichier(vers.fichiersRecus.takeLast()), contenu);
        };
        envoyer(banc.a, banc.b, 3500);
        envoyer(banc.b, banc.a, 2200);
        QVERIFY(a.TesterConnexion(false));
        QVERIFY(b.TesterConnexion(false));
        QVERIFY(a.EnvoyerCommande("MESSAGE=bonjour de A", "", 3000));
        banc.plateforme.avancer(100);
        QVERIFY(b.EnvoyerCommande("MESSAGE=bonjour de B", "", 3000));
        banc.plateforme.avancer(100);
        // Link tests (ours, and those the supervision runs after a file) arrive whole too.
        for (PosteSimule *poste : {&banc.a, &banc.b}) {
            const QString autre = poste == &banc.a ? "B" : "A";
            QCOMPARE(poste->commandes.filter("MESSAGE="), QStringList({"MESSAGE=bonjour de " + autre}));
            QCOMPARE(poste->commandes.filter("Connexion, chut!").size(), poste->commandes.size() - 1);
        }

        b.NumTelAppel = QStringLiteral("1");
        banc.boites.repondreTempo(false);
        QVERIFY(b.DefinirCePosteEnAppelant());
        banc.plateforme.avancer(60000);
        QVERIFY(b.PosteAppellant && !a.PosteAppellant);
        for (const PosteSimule *poste : {&banc.a, &banc.b})
            QVERIFY2(poste->informations.filter("Erreur de réception").isEmpty(), qPrintable(poste->informations.join('\n')));
    }

    void testDeLiaisonPendantUnEnvoi()
    {
        // B checks the link while A is sending it a file: both get through, nothing is refused.
        BancDeuxPostes banc;
        banc.demarrer();
        const QString fichier = banc.a.chemin("envoi/croise.bin");
        QByteArray contenu(5000, Qt::Uninitialized);
        std::mt19937 alea(4);
        for (char &c : contenu)
            c = char(alea());
        ecrireFichier(fichier, contenu);
        bool testB = false;
        banc.plateforme.planifier(300'000, [&] { testB = banc.b.poste->TesterConnexion(false); });
        QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
        banc.plateforme.avancer(1000);
        QVERIFY(testB);
        QCOMPARE(lireFichier(banc.b.fichiersRecus.value(0)), contenu);
        for (const PosteSimule *poste : {&banc.a, &banc.b})
            QVERIFY2(poste->informations.filter("Temps d'attente").isEmpty() && poste->informations.filter("tentative").isEmpty(),
                     qPrintable(poste->informations.join('\n')));
    }

    void texteHostileDeLaLigne()
    {
        // A seeded stream of garbage, broken frames and keywords with random tails: the
        // station must neither stop nor write anywhere but its incoming folder.
        BancDeuxPostes banc;
        banc.demarrer();
        std::mt19937 alea(2026);
        const QList<QByteArray> motsCles = {"FICHIER", "RECEPFICHIER", "RECEPGROSFIC", "CLK", "STOP", "RING",
                                            "YAQUELQUUN?", "JESUISAPPELANT", "MESSAGE=", "OUI", ""};
        for (int essai = 0; essai < 400; ++essai) {
            QByteArray queue(int(alea() % 300), Qt::Uninitialized);
            for (char &c : queue)
                c = char(alea() % 4 == 0 ? alea() % 32 : alea());
            QByteArray texte = motsCles[int(alea() % motsCles.size())] + queue;
            QByteArray trame = BancLigne::trame(texte);
            if (alea() % 5 == 0)
                trame = trame.left(int(alea() % (trame.size() + 1))); // cut short
            banc.b.poste->FrmComm->PortEvent_Lecture(trame);
            banc.plateforme.avancer(alea() % 3000);
        }
        banc.plateforme.avancer(300'000);
        QDirIterator tout(banc.b.dossier.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (tout.hasNext()) {
            const QString chemin = tout.next();
            QVERIFY2(chemin == banc.b.cheminIni() || chemin.startsWith(banc.b.chemin("recus/")), qPrintable(chemin));
        }
    }
};

QTEST_GUILESS_MAIN(TstProtocole)
#include "tst_protocole.moc"
