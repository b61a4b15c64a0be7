// The dialogue between two stations on a simulated cable, in virtual time.
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "tests/support/BancDeuxPostes.h"
#include "tests/support/BancLigne.h"
#include "tests/support/PosteSurLigne.h"

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
        // A link test sent as such (TesterConnexion, with or without its event), or a raw text.
        QTest::addColumn<int>("envoi"); // -2: raw text; -1: argument left out; 0: silent; 1: with event
        QTest::addColumn<bool>("serveurHoraire");
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("chezLeDestinataire");
        QTest::addColumn<bool>("repondOui");
        QTest::addColumn<QString>("chezLExpediteur");
        QTest::addColumn<int>("erreursApres"); // the sender had 3; -1: not a link test of its own
        const QByteArray clk = "CLK01022009134507";
        QTest::newRow("test") << 1 << false << QByteArray("YAQUELQUUN?") << "Connexion confirmée" << true << "Connexion vérifiée" << 0;
        QTest::newRow("test chut") << 0 << false << QByteArray("YAQUELQUUN?CHUT!") << "Connexion, chut!" << true << "Connexion, chut!" << 3;
        QTest::newRow("test sans argument") << -1 << false << QByteArray("YAQUELQUUN?CHUT!") << "Connexion, chut!" << true
                                            << "Connexion, chut!" << 3;
        QTest::newRow("test horaire") << 1 << true << clk << "Connexion confirmée avec synchronisation horaire" << true
                                      << "Connexion vérifiée par synchronisation horaire" << 0;
        QTest::newRow("test horaire chut") << 0 << true << clk + "CHUT!" << "Connexion, chut!" << true
                                           << "Connexion vérifiée par synchronisation horaire" << 0;
        QTest::newRow("YAQUELQUUN? et autre chose") << -2 << false << QByteArray("YAQUELQUUN?xyz") << "Connexion confirmée" << true
                                                    << "OUI" << -1;
        QTest::newRow("minuscules") << -2 << false << QByteArray("yaquelquun?") << "yaquelquun?" << false << "" << -1;
        QTest::newRow("CLK trop court") << -2 << false << QByteArray("CLK010220") << "CLK010220" << false << "" << -1;
        QTest::newRow("OUI tardif") << -2 << false << QByteArray("OUI") << "OUI" << false << "" << -1;
    }

    void testsDeLiaison()
    {
        QFETCH(int, envoi);
        QFETCH(bool, serveurHoraire);
        QFETCH(QByteArray, texte);
        QFETCH(QString, chezLeDestinataire);
        QFETCH(bool, repondOui);
        QFETCH(QString, chezLExpediteur);
        QFETCH(int, erreursApres);
        BancDeuxPostes banc;
        banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 2, 1), QTime(13, 45, 7)), nullptr);
        banc.demarrer();
        const int reglages = banc.plateforme.reglagesHorloge();
        CInterlocuteur &a = *banc.a.poste;
        a.SvrHoraire = serveurHoraire;
        a.NbreErreurs = 3;
        QStringList versB;
        banc.b.poste->FrmComm->Reception.connecter([&](const QByteArray &t) { versB << QString::fromLatin1(t); });
        if (envoi == -2)
            QVERIFY(a.EnvoyerCommande(texte, "", 3000)); // the answer comes after the sender stopped waiting
        else
            QVERIFY(envoi < 0 ? a.TesterConnexion() : a.TesterConnexion(envoi == 1));
        banc.plateforme.avancer(200);
        QCOMPARE(versB, QStringList({QString::fromLatin1(texte)}));
        QCOMPARE(banc.b.commandes, QStringList({chezLeDestinataire}));
        QCOMPARE(banc.a.commandes, chezLExpediteur.isEmpty() ? QStringList() : QStringList({chezLExpediteur}));
        if (erreursApres >= 0)
            QCOMPARE(a.NbreErreurs, qint16(erreursApres));
        QCOMPARE(banc.b.poste->ModemEtatConnexion(), repondOui);
        QCOMPARE(banc.plateforme.reglagesHorloge() - reglages, texte.startsWith("CLK") && repondOui ? 1 : 0);
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
        QCOMPARE(s.etats.value(5).section('|', 0, 0), QStringLiteral("Déconnexion")); // at once
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

};

QTEST_GUILESS_MAIN(TstProtocole)
#include "tst_protocole.moc"
