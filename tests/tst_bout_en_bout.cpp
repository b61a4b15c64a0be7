// Two whole stations, end to end, in virtual time: the link on a bare cable whatever starts
// first, a file cut half-way in every way a site sees, the caller's reconnection offer, and
// messages between the two.
#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/DeuxStationsSurModems.h"

#include <QRegularExpression>
#include <QTest>

class TstBoutEnBout : public QObject
{
    Q_OBJECT

    // What cuts a file in parts half-way.
    enum Coupure {
        AdaptateurRetire,
        SignalDArret,
        OuiALaFermeture,
        ArretDuDestinataire,
        PorteuseCourte
    };

    // Cuts the file going from A to B once 8 KiB are in, then brings the link back; `coupe`
    // outlives the call, as the progress handler does.
    static void couperEnPleinFichier(DeuxStationsSurModems &s, Coupure coupure, bool &coupe)
    {
        StationSimulee &arretee = coupure == ArretDuDestinataire ? s.b : s.a;
        s.b.lien().ProgressRecept.connecter([&s, &coupe, &arretee, coupure](qint32, qint32) {
            if (coupe || s.b.lien().TailleReceptionEnCours() < 8 * 1024)
                return;
            coupe = true;
            s.plateforme.planifier(0, [&s, &arretee, coupure] { // from the event loop, as a signal or a click comes
                if (coupure == AdaptateurRetire) {
                    s.cable1.a().retirer();
                    s.plateforme.planifier(10 * 60'000'000LL, [&] { s.cable1.a().remettre(); });
                } else if (coupure == OuiALaFermeture) {
                    s.boites.repondre(Reponse::Oui);
                    QVERIFY(!arretee.fenetre().Form_QueryUnload(FMain::FermetureParLaCase));
                } else {
                    arretee.fenetre().BtnTerminer_Click();
                }
            });
        });
        s.plateforme.avancer(60'000);
        QVERIFY(coupe);
        QCOMPARE(fichiersDe(s.b.chemin("Recus de B")), QStringList());
        QCOMPARE(fichiersDe(s.a.chemin("Envois à A")), QStringList({"releve.bin"}));
        if (coupure != AdaptateurRetire) {
            QCOMPARE(arretee.vue.codeSortie, 0);
            arretee.principale.reset();
            s.plateforme.avancer(60'000);
            arretee.charger(QByteArray(), &arretee == &s.a ? "A" : QString()); // started again
            arretee.fenetre().Form_Activate();
            s.plateforme.avancer(15 * 60'000);
        } else {
            // Put back at ten minutes: linked again within one re-initialisation period.
            s.plateforme.avancer(9 * 60'000);
            QVERIFY(s.a.lien().TimeOut()->Enabled());
            QCOMPARE(s.a.fenetre().ListeInfo().filter("Ouverture du port COM1:").size(), 1); // said once
            QVERIFY(s.boites.boites.isEmpty() && s.boites.boitesTempo.isEmpty());
            s.plateforme.avancer(200'000 + 60'000);
        }
    }

private slots:
    void surUnCable_data()
    {
        QTest::addColumn<QByteArray>("clesA");
        QTest::addColumn<QByteArray>("clesB");
        QTest::addColumn<int>("ecartMs");         // B starts this long after A
        QTest::addColumn<bool>("tousDeuxMenent"); // each leads by its own setting: the other does not show its rank
        const QByteArray appelant = "PosteAppellant=-1\n", ancien = "ProtocoleEtendu=0\n";
        QTest::newRow("même instant, tous deux appelants") << appelant << appelant << 0 << false;
        QTest::newRow("même instant, A appelant") << appelant << QByteArray() << 0 << false;
        QTest::newRow("même instant, aucun appelant") << QByteArray() << QByteArray() << 0 << false;
        QTest::newRow("B 40 s après A") << QByteArray() << QByteArray() << 40'000 << false;
        QTest::newRow("A 2 s après B, au milieu de son script") << QByteArray() << QByteArray() << -2'000 << false;
        QTest::newRow("B sans le protocole étendu, tous deux appelants") << appelant << appelant + ancien << 0 << true;
    }

    void surUnCable()
    {
        // A cable answers no modem script: each end says so once, tests the other whatever
        // its role, and answers the other's test while it waits for its own answer.
        QFETCH(QByteArray, clesA);
        QFETCH(QByteArray, clesB);
        QFETCH(int, ecartMs);
        QFETCH(bool, tousDeuxMenent);
        DeuxStationsSurCable s({.bauds = 115200});
        s.lancer(s.a, "A", clesA, std::max(0, -ecartMs));
        s.lancer(s.b, "B", clesB, std::max(0, ecartMs));
        s.plateforme.avancer(std::abs(ecartMs) + 10'000);
        const auto infos = [](StationSimulee *app) { return app->fenetre().ListeInfo().join('\n').toUtf8(); };
        for (StationSimulee *app : {&s.a, &s.b}) {
            QVERIFY2(app->fenetre().CocheConnecter() == 1, infos(app).constData());
            QCOMPARE(app->fenetre().ListeInfo().filter(" : Pas de modem sur la ligne : câble direct").size(), 1);
            QVERIFY(app->fenetre().ListeInfo().filter("Echec de paramétrage. (Essai").isEmpty());
            if (ecartMs == 0) // crossing tests are both answered
                QVERIFY2(app->fenetre().ListeInfo().filter("Temps d'attente de réponse écoulé. (OUI").isEmpty(),
                         infos(app).constData());
        }
        QVERIFY(s.boites.boitesTempo.isEmpty());
        QCOMPARE(s.a.lien().meneLaLiaison() + s.b.lien().meneLaLiaison(), tousDeuxMenent ? 2 : 1);
        QCOMPARE(s.a.lien().extensionActive(), !tousDeuxMenent);

        const QByteArray deA = aleatoire(20'000, 1), deB = aleatoire(20'000, 2);
        ecrireFichier(s.a.chemin("Envois à A/dea.bin"), deA);
        ecrireFichier(s.b.chemin("Envois à B/deb.bin"), deB);
        s.plateforme.avancer(60'000);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/DEA.BIN")), deA);
        QCOMPARE(lireFichier(s.a.chemin("Recus de A/DEB.BIN")), deB);

        // Both supervisions re-initialise in the same tick, as two in step would: hang up,
        // a second, connect. Their STOPs cross unheeded, their tests cross and are answered.
        for (StationSimulee *app : {&s.a, &s.b})
            s.plateforme.planifier(0, [app, &s] {
                app->lien().Déconnecter();
                MGlobal::Attendre(s.plateforme, 1000);
                app->lien().Connecter();
            });
        s.plateforme.avancer(10'000);
        for (StationSimulee *app : {&s.a, &s.b}) {
            QVERIFY(app->lien().ModemEtatConnexion());
            QVERIFY(app->fenetre().ListeInfo().filter("Le poste distant se déconnecte").isEmpty());
        }
        ecrireFichier(s.a.chemin("Envois à A/encore.bin"), deA);
        s.plateforme.avancer(30'000);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/ENCORE.BIN")), deA);
    }

    void coupures_data()
    {
        QTest::addColumn<int>("coupure");
        QTest::newRow("adaptateur retiré dix minutes, puis remis") << int(AdaptateurRetire);
        QTest::newRow("SIGTERM chez l'expéditeur") << int(SignalDArret);
        QTest::newRow("Oui à la question de fermeture") << int(OuiALaFermeture);
        QTest::newRow("le destinataire s'arrête") << int(ArretDuDestinataire);
        QTest::newRow("porteuse perdue 15 s après chaque CONNECT, fichier de 23 s") << int(PorteuseCourte);
    }

    void coupures()
    {
        // Whatever cuts a file half-way, nothing partial is delivered, the sender keeps the
        // file, and it arrives whole, once, when the link is back, going on from what the
        // receiver held.
        QFETCH(int, coupure);
        const bool courte = coupure == PorteuseCourte;
        const ReglagesModem modem = courte ? ReglagesModem{.vitesse = 115'200, .coupureApresMs = 15'000} : ReglagesModem{};
        DeuxStationsSurModems s(modem, modem);
        s.demarrer();
        s.plateforme.avancer(courte ? 12'000 : 15'000);
        const QByteArray contenu = aleatoire(courte ? 262'144 : 20'000, courte ? 4 : 3);
        bool coupe = false;
        ecrireFichier(s.a.chemin("Envois à A/releve.bin"), contenu);
        if (courte) {
            // 42 s a call, 27 of them to hang up and dial again: four calls. A call whose link
            // test is held up, or whose file waits for the scanner's first pass, adds one more.
            for (int i = 0; i < 15 && fichiersDe(s.b.chemin("Recus de B")).isEmpty(); ++i)
                s.plateforme.avancer(10'000);
        } else {
            couperEnPleinFichier(s, Coupure(coupure), coupe);
        }
        QCOMPARE(fichiersDe(s.b.chemin("Recus de B")), QStringList({"RELEVE.BIN"}));
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/RELEVE.BIN")), contenu);
        QCOMPARE(fichiersDe(s.a.chemin("Envois à A")), QStringList());
        const qsizetype reprises =
            s.a.fenetre().ListeInfo().filter(QRegularExpression(" : Reprise de .* à l'octet [1-9]")).size();
        QVERIFY(courte ? reprises >= 2 : reprises == 1);
    }
    void reconnexionDeLAppelant_data()
    {
        QTest::addColumn<bool>("rappeler");
        QTest::newRow("personne ne répond : rappel après 20 s") << true;
        QTest::newRow("Annuler") << false;
    }

    void reconnexionDeLAppelant()
    {
        QFETCH(bool, rappeler);
        ReglagesModem coupe;
        coupe.coupureApresMs = 20'000; // the carrier is lost 20 s after each CONNECT
        DeuxStationsSurModems s(coupe);
        s.demarrer();
        s.plateforme.avancer(15'000);
        QCOMPARE(s.a.fenetre().CocheConnecter(), 1);
        if (!rappeler)
            s.boites.repondreTempo(false, 5000);
        s.plateforme.avancer(10'000); // the line drops
        QCOMPARE(s.boites.boitesTempo.size(), 1);
        QCOMPARE(s.boites.boitesTempo[0].message,
                 QStringLiteral("Le poste distant s'est déconnecté.\r\nVoulez vous le rappeller ?"));
        QCOMPARE(s.boites.boitesTempo[0].titre, QStringLiteral("A : Reconnexion automatique"));
        QCOMPARE(s.boites.boitesTempo[0].tempsRestant, 20);
        // The box counted down inside the drop's handling: it has already dialled again.
        const auto numerotations = [&] { return s.a.fenetre().ListeInfo().filter("Numérotation du '2'").size(); };
        if (rappeler) {
            QCOMPARE(numerotations(), 2);
            QCOMPARE(s.a.vue.etat, 1); // minimised before the box, minimised again
            QCOMPARE(s.a.vue.etatsCoche.mid(s.a.vue.etatsCoche.size() - 3), QList<int>({1, 0, 2}));
            s.plateforme.avancer(10'000);
            QCOMPARE(s.a.fenetre().CocheConnecter(), 1);
            return;
        }
        QCOMPARE(numerotations(), 1);
        QCOMPARE(s.a.fenetre().CocheConnecter(), 0);
        QVERIFY(!s.a.lien().TimeOut()->Enabled());
        s.plateforme.avancer(300'000);
        QCOMPARE(numerotations(), 1);
    }

    void messages()
    {
        DeuxStationsSurModems s;
        s.demarrer();
        s.plateforme.avancer(15'000);
        s.boites.repondreSaisie("Oui, tout va bien");
        s.boites.repondreSaisie(QString()); // A cancels: nothing goes back
        s.a.fenetre().txtCmde = "Tout va bien ?";
        s.a.fenetre().BtnEnvoi_Click();
        s.plateforme.avancer(5000);
        QCOMPARE(s.boites.saisies.size(), 2);
        QCOMPARE(s.boites.saisies[0].message, QStringLiteral("Tout va bien ?"));
        QCOMPARE(s.boites.saisies[0].titre, QStringLiteral("Navette"));
        QCOMPARE(s.boites.saisies[1].message, QStringLiteral("Oui, tout va bien"));
        QCOMPARE(s.a.fenetre().txtCmde, QStringLiteral("Tout va bien ?")); // kept for another try
        QCOMPARE(s.a.fenetre().ListeInfo().filter("MESSAGE").size(), 0);

        // Blank text, or longer than any frame may be: nothing goes.
        s.a.fenetre().txtCmde = "   ";
        s.a.fenetre().BtnEnvoi_Click();
        s.a.fenetre().txtCmde = QString(5000, QLatin1Char('m'));
        s.a.fenetre().BtnEnvoi_Click();
        s.plateforme.avancer(5000);
        QCOMPARE(s.boites.saisies.size(), 2);
        QCOMPARE(s.boites.boites.last().message, QStringLiteral("Le message est trop long : 4088 caractères au plus."));

        // A burst while B reads its first box for 10 s: one box at a time, a few wait, the
        // rest is counted; a terminal's escape sequence shows as text.
        s.boites.dureeSaisieMs = 10'000;
        for (int i = 0; i < 12; ++i) {
            s.a.fenetre().txtCmde = i == 0 ? QStringLiteral("\x1b[2Jeffacé ?") : QStringLiteral("rafale %1").arg(i);
            s.a.fenetre().BtnEnvoi_Click();
        }
        s.plateforme.avancer(120'000);
        QCOMPARE(s.boites.saisiesOuvertesMax, 1);
        QCOMPARE(s.boites.saisies.size(), 2 + 1 + FMain::messagesEnAttenteMax);
        QCOMPARE(s.boites.saisies[2].message, QStringLiteral("\\x1b[2Jeffacé ?"));
        QCOMPARE(
            s.b.fenetre().ListeInfo().filter(" : 6 message(s) du poste distant perdu(s) : 5 attendaient déjà d'être lus.").size(),
            1);
    }
};

QTEST_GUILESS_MAIN(TstBoutEnBout)
#include "tst_bout_en_bout.moc"
