// The line commands between two stations on a simulated cable, in virtual time: link tests,
// the clock, STOP, RING and the calling role, errors in a row, a test during a send.
#include "link/shared/MGlobal.h"
#include "securite/CleStation.h"
#include "platform/Minuterie.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/StationSurLigne.h"

#include <QRegularExpression>
#include <QTest>

namespace {
void recevoir(DeuxStationsSurCable &banc, StationSimulee &poste, const QByteArray &texte)
{
    poste.poste->FrmComm->PortEvent_Lecture(BancLigne::trame(texte));
    banc.plateforme.avancer(100);
}
}

class TstCommandesDeLigne : public QObject
{
    Q_OBJECT

    static QDateTime midi() { return QDateTime(CInterlocuteur::dateDeConstruction().addYears(1), QTime(12, 0)); }

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
        DeuxStationsSurCable banc;
        banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 2, 1), QTime(13, 45, 7)), nullptr);
        banc.demarrer();
        const int reglages = banc.plateforme.reglagesHorloge();
        CInterlocuteur &a = *banc.a.poste;
        a.Parametres.SvrHoraire = serveurHoraire;
        a.NbreErreurs.fixer(3);
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
            QCOMPARE(a.NbreErreurs.nombre(), qint16(erreursApres));
        QCOMPARE(banc.b.poste->ModemEtatConnexion(), repondOui);
        QCOMPARE(banc.plateforme.reglagesHorloge() - reglages, 0); // one clock for both: never 2 s apart
        if (repondOui)
            QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|0|20"));
    }

    void horloge_data()
    {
        QTest::addColumn<QDateTime>("locale");
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<bool>("cleDistante"); // the section pins a key, and no handshake took place
        QTest::addColumn<bool>("reglee");
        QTest::addColumn<QString>("dit");
        const QDate construction = CInterlocuteur::dateDeConstruction();
        const QDateTime midi = TstCommandesDeLigne::midi();
        const auto clk = [](const QDateTime &d) { return "CLK" + d.toString("ddMMyyyyHHmmss").toLatin1(); };
        QTest::newRow("moins de 2 s") << midi << clk(midi.addSecs(1)) << false << false << "";
        QTest::newRow("à la borne") << midi << clk(midi.addSecs(3600)) << false << true << "Horloge réglée par le poste distant (non authentifié)";
        QTest::newRow("au-delà") << midi << clk(midi.addSecs(3602)) << false << false << "au-delà de EcartHorlogeMax (3600 s)";
        QTest::newRow("au-delà, en arrière") << midi << clk(midi.addSecs(-7200)) << false << false << "au-delà de EcartHorlogeMax";
        QTest::newRow("horloge locale avant la construction")
            << QDateTime(construction.addDays(-10), QTime(8, 0)) << clk(midi) << false << true << "Horloge réglée";
        QTest::newRow("date reçue avant la construction")
            << QDateTime(construction.addDays(-10), QTime(8, 0)) << clk(QDateTime(construction.addDays(-1), QTime(8, 0))) << false
            << false << "antérieure à la construction du programme";
        QTest::newRow("poste non authentifié d'une section à clé") << midi << clk(midi.addSecs(60)) << true << false << "";
        QTest::newRow("jour impossible") << midi << QByteArray("CLK31022009256107") << false << false << "Heure reçue invalide";
        QTest::newRow("pas que des chiffres") << midi << QByteArray("CLK0102200913450x") << false << false << "Heure reçue invalide";
    }

    void horloge()
    {
        QFETCH(QDateTime, locale);
        QFETCH(QByteArray, texte);
        QFETCH(bool, cleDistante);
        QFETCH(bool, reglee);
        QFETCH(QString, dit);
        DeuxStationsSurCable banc;
        banc.demarrer({}, cleDistante ? "CleDistante=" + QByteArray(32, '\x07').toBase64() + "\n" : QByteArray());
        banc.plateforme.reglerDateHeure(locale, nullptr);
        const int reglages = banc.plateforme.reglagesHorloge();
        const QDateTime avant = banc.plateforme.maintenant();
        QByteArray reponse;
        QVERIFY(banc.a.poste->EnvoyerCommande(texte, "OUI", 3000, &reponse)); // the test is answered all the same
        QCOMPARE(banc.plateforme.reglagesHorloge() - reglages, reglee ? 1 : 0);
        if (!reglee)
            QVERIFY(qAbs(avant.secsTo(banc.plateforme.maintenant())) < 5);
        const QStringList dits = banc.b.informations.filter(QRegularExpression("Horloge|Heure|EcartHorlogeMax"));
        QCOMPARE(dits.size(), dit.isEmpty() ? 0 : 1);
        if (!dit.isEmpty())
            QVERIFY2(dits.first().contains(dit), qPrintable(dits.first()));

        // No right to set the clock: said once, not at every test.
        banc.plateforme.reglerDateHeure(midi(), nullptr);
        banc.plateforme.refuserReglageHorloge(true);
        for (int i = 1; i <= 2; ++i)
            banc.a.poste->EnvoyerCommande("CLK" + midi().addSecs(100 * i).toString("ddMMyyyyHHmmss").toLatin1(), "OUI", 3000);
        QCOMPARE(banc.b.informations.filter("Mise à l'heure impossible").size(), cleDistante ? 0 : 1);
    }

    void deuxOuverturesCroisees()
    {
        // Both lead (both set as calling, on a line where no rank says otherwise) and open their
        // handshakes in the same tick: one gives way to the other's, and both end sealed,
        // with no failure and no error said.
        DeuxStationsSurCable banc;
        QString erreur;
        const auto cle = [&](StationSimulee &p) { return CleStation::charger(banc.disque, p.dossier.path(), "Port 1", erreur)->publique().toLatin1(); };
        const QByteArray cleA = cle(banc.a), cleB = cle(banc.b);
        banc.demarrer("CleDistante=" + cleB + "\n", "PosteAppellant=-1\nCleDistante=" + cleA + "\n");
        for (StationSimulee *p : {&banc.a, &banc.b}) {
            p->poste->FrmComm->setLigneSansModem(true);
            banc.plateforme.planifier(0, [p] { p->poste->TesterConnexion(false); });
        }
        banc.plateforme.avancer(10'000);
        for (StationSimulee *p : {&banc.a, &banc.b}) {
            const QString infos = p->informations.join('\n');
            QVERIFY2(p->poste->liaisonAutorisee() && p->informations.filter("Liaison chiffrée avec").size() == 1, qPrintable(infos));
            QVERIFY2(!infos.contains("refusé") && !infos.contains("Temps d'attente"), qPrintable(infos));
        }
        const auto ouvertures = [](const StationSimulee &p) { return std::count_if(p.trames.begin(), p.trames.end(), [](const QByteArray &t) { return t.startsWith("XKK1"); }); };
        QCOMPARE(ouvertures(banc.a) + ouvertures(banc.b), 2); // they did cross
        // Sealed both ways: a message crosses.
        QVERIFY(banc.a.poste->EnvoyerCommande("MESSAGE=bonjour", "", 3000));
        banc.plateforme.avancer(1'000);
        QVERIFY(banc.b.commandes.contains("MESSAGE=bonjour"));
    }

    void stopEtStopIgnorePendantDeconnexion()
    {
        DeuxStationsSurCable banc;
        banc.demarrer();
        QList<bool> etats;
        banc.b.poste->ModemEtatConnexionChange.connecter([&](bool c) { etats << c; });
        recevoir(banc, banc.b, "STOP");
        banc.plateforme.avancer(5000);
        QVERIFY(banc.b.informations.contains("Le poste distant se déconnecte."));
        QCOMPARE(etats, QList<bool>({false}));
        QCOMPARE(banc.b.poste->causeDeconnexion(), CauseDeconnexion::PosteDistant);
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réinitialisation|5|30"));

        // While B hangs up itself, a STOP from A is dropped.
        DeuxStationsSurCable banc2;
        banc2.demarrer();
        banc2.plateforme.planifier(500'000, [&] { recevoir(banc2, banc2.b, "STOP"); });
        banc2.b.poste->Déconnecter();
        QVERIFY(!banc2.b.informations.contains("Le poste distant se déconnecte."));
    }

    void ringEtNegociationDuRoleAppelant()
    {
        DeuxStationsSurCable banc;
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
        QVERIFY(banc.b.poste->Parametres.PosteAppellant);
        QVERIFY(lireFichier(banc.b.cheminIni()).contains("PosteAppellant=-1\n"));
        QVERIFY(lireFichier(banc.b.cheminIni()).contains("NumTelAppel=0102030405\n"));
        banc.plateforme.avancer(60000);
        QVERIFY(!banc.a.poste->Parametres.PosteAppellant);
        QVERIFY(lireFichier(banc.a.cheminIni()).contains("PosteAppellant=0\n"));
        QVERIFY(banc.a.informations.contains("Suite à demande, je deviens 'appellé'..."));
    }

    void cinqErreursDeSuiteReconnectent()
    {
        StationSurLigne s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        p.armer(GenreSupervision::Surveillance);
        for (int i = 0; i < 4; ++i)
            QVERIFY(!p.TesterConnexion(false));
        QCOMPARE(p.NbreErreurs.nombre(), qint16(4));
        QVERIFY(s.informations.last().endsWith("(3)"));
        QCOMPARE(s.etats.last(), QStringLiteral("Surveillance|5|0")); // sooner next time; stopped while the command is out
        s.boites.repondreTempo(true, 0);
        s.boites.repondreTempo(true, 0);
        QVERIFY(!p.TesterConnexion(false));
        QVERIFY(!s.informations.filter(QRegularExpression("\\(4\\)$")).isEmpty());
        QCOMPARE(s.etats.value(5).section('|', 0, 0), QStringLiteral("Déconnexion")); // at once
        QVERIFY(s.informations.contains("Paramétrage ATZ0"));
    }

    void etatDuModemSelonLeRole()
    {
        DeuxStationsSurCable banc;
        banc.demarrer();
        CInterlocuteur &a = *banc.a.poste, &b = *banc.b.poste;
        b.FrmComm->PortEvent_Lecture("\r\nCONNECT 38400\r\n");
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réponse||1")); // no counter of its own
        a.FrmComm->PortEvent_Lecture("\r\nCONNECT 38400\r\n");
        QCOMPARE(banc.a.etats.last(), QStringLiteral("Surveillance|0|30"));
        a.FrmComm->TexteReçu_Clear();
        const int avant = banc.a.etats.size();
        a.FrmComm->PortEvent_Lecture("\r\nNO CARRIER\r\n");
        QCOMPARE(banc.a.etats.size(), avant); // caller, not dialling: nothing armed
        QVERIFY(!a.ModemEtatConnexion());
        QCOMPARE(a.causeDeconnexion(), CauseDeconnexion::PorteusePerdue);
        b.FrmComm->TexteReçu_Clear();
        b.FrmComm->PortEvent_Lecture("\r\nNO CARRIER\r\n");
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Réinitialisation|5|30"));
    }
    void testDeLiaisonPendantUnEnvoi()
    {
        // B checks the link while A is sending it a file: both get through, nothing is refused.
        DeuxStationsSurCable banc;
        banc.demarrer();
        const QString fichier = banc.a.chemin("envoi/croise.bin");
        const QByteArray contenu = aleatoire(5000, 4);
        ecrireFichier(fichier, contenu);
        bool testB = false;
        banc.plateforme.planifier(300'000, [&] { testB = banc.b.poste->TesterConnexion(false); });
        QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
        banc.plateforme.avancer(1000);
        QVERIFY(testB);
        QCOMPARE(lireFichier(banc.b.fichiersRecus.value(0)), contenu);
        for (const StationSimulee *poste : {&banc.a, &banc.b})
            QVERIFY2(poste->informations.filter("Temps d'attente").isEmpty() && poste->informations.filter("tentative").isEmpty(),
                     qPrintable(poste->informations.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TstCommandesDeLigne)
#include "tst_commandes_de_ligne.moc"
