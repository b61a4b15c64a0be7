// The main window's logic in virtual time: start-up, the three states of a connection, line
// drops and the reconnection offer, messages, and two whole applications exchanging files over
// emulated modems or a cable.
#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "tests/support/DeuxStationsSurModems.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/StationSurLigne.h"
#include "tests/support/SurveillanceDossierSimulee.h"
#include "tools/modem/LigneSimulee.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <random>

namespace {
const QRegularExpression dateHeure(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d"));
}

class TstFMain : public QObject
{
    Q_OBJECT

    // What cuts a file in parts half-way.
    enum Coupure { AdaptateurRetire, SignalDArret, OuiALaFermeture, ArretDuDestinataire };

private slots:
    void demarrageNomFichierEtDossiers()
    {
        {
            // Named on the command line: the window neither reads nor writes "Defaut".
            StationSurLigne app;
            FMain &f = app.charger("[Port B]\nNumPort=COM1:\n", "B");
            QCOMPARE(f.caption(), QStringLiteral("B : Navette"));
            QVERIFY(QFileInfo(app.chemin("Envois à B")).isDir() && QFileInfo(app.chemin("Recus de B")).isDir());
            QVERIFY(!lireFichier(app.chemin("navette.INI")).contains("Defaut"));
            QVERIFY(app.vue.sablier);
            // Not connected: the close box ends the program without a question.
            const qsizetype boitesAvant = app.boites.boites.size();
            QVERIFY(!f.Form_QueryUnload(FMain::FermetureParLaCase));
            QCOMPARE(app.boites.boites.size(), boitesAvant);
            QCOMPARE(app.vue.codeSortie, 0);
        }
        {
            // No name and no file: the file is made, in "Données" when it exists, with "A".
            StationSurLigne app;
            QDir(app.dossier.path()).mkdir("Données");
            FMain &f = app.charger(QByteArray());
            QCOMPARE(lireFichier(app.chemin("Données/navette.INI")), QByteArray("\n[Defaut]\nConnexion à=A\n"));
            QCOMPARE(f.caption(), QStringLiteral("A : Navette"));
            QVERIFY(app.boites.boites.last().message.startsWith("Erreur de lecture dans le fichier "));
            QVERIFY(QFileInfo(app.chemin("Envois à A")).isDir()); // beside the program, not in "Données"
        }
        {
            // Folders of its own; one that cannot be made ends the program.
            StationSurLigne app;
            ecrireFichier(app.chemin("fichier"), "x");
            app.charger("[Port A]\nNumPort=COM1:\nCheminFichiersAEnvoyer=" + app.chemin("sortie").toUtf8()
                            + "\nCheminFichiersRecus=" + app.chemin("fichier/recus").toUtf8() + "\n",
                        "A");
            QVERIFY(QFileInfo(app.chemin("sortie")).isDir());
            QVERIFY(!QFileInfo::exists(app.chemin("Envois à A")));
            QCOMPARE(app.boites.boites.last().message, "Impossible de créer le répertoire " + app.chemin("fichier/recus"));
            QCOMPARE(app.boites.boites.last().titre, QStringLiteral("Navette"));
            QCOMPARE(app.vue.codeSortie, 1);
        }
    }

    void restesDUneReceptionInterrompue()
    {
        // Left by a power cut in the middle of receptions: an older station's extraction
        // folder, a temporary file of ours, an extraction of ours. None was acknowledged.
        StationSurLigne app;
        for (const char *reste : {"Recus de B/UNZIP/A.TXT.ZQZIP", "Recus de B/.navette-Ab12Cd.tmp", "Travail/Port B/Extraction/A.TXT"}) {
            QDir().mkpath(QFileInfo(app.chemin(reste)).absolutePath());
            ecrireFichier(app.chemin(reste), "reste");
        }
        ecrireFichier(app.chemin("Recus de B/GARDE.TXT"), "reçu avant");
        FMain &f = app.charger("[Port B]\nNumPort=COM1:\n", "B");
        QCOMPARE(f.ListeInfo().filter("Restes d'une réception interrompue supprimés au démarrage : 3 fichier(s)").size(), 1);
        QCOMPARE(QDir(app.chemin("Recus de B")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"GARDE.TXT"});
        QCOMPARE(fichiersDe(app.chemin("Travail/Port B/Extraction")), QStringList());
    }

    void deuxApplicationsEchangentLeursFichiers()
    {
        DeuxStationsSurModems s;
        s.demarrer();
        FMain &a = s.a.fenetre(), &b = s.b.fenetre();
        QCOMPARE(a.CocheConnecter(), 2); // dialling
        QVERIFY(a.italiqueCocheConnecter());
        QCOMPARE(s.a.vue.etat, 1);        // the first state shown minimises the window
        QVERIFY(!a.demarrage());
        s.plateforme.avancer(15'000);
        for (StationSimulee *app : {&s.a, &s.b}) {
            QCOMPARE(app->vue.etatsCoche, QList<int>({0, 2, 1}));
            QCOMPARE(app->fenetre().captionCocheConnecter(), QStringLiteral("Connecté"));
            QCOMPARE(app->fenetre().CocheSynchro(), 1);
            QVERIFY(app->fenetre().BtnTestDialogActif());
        }
        QVERIFY(a.lblTimeOut().startsWith("Surveillance-"));

        // Files both ways at once, one of several parts.
        const QByteArray petit = "bonjour de A", gros = aleatoire(6000, 1), retour = aleatoire(2500, 2);
        ecrireFichier(s.a.chemin("Envois à A/petit.txt"), petit);
        ecrireFichier(s.a.chemin("Envois à A/gros.bin"), gros);
        ecrireFichier(s.b.chemin("Envois à B/retour.bin"), retour);
        s.plateforme.avancer(60'000);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/PETIT.TXT")), petit);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/GROS.BIN")), gros);
        QCOMPARE(lireFichier(s.a.chemin("Recus de A/RETOUR.BIN")), retour);
        QCOMPARE(fichiersDe(s.a.chemin("Envois à A")), QStringList());
        QCOMPARE(fichiersDe(s.b.chemin("Envois à B")), QStringList());
        QCOMPARE(a.ListeEmissions().size(), 2);
        // The status a monitoring tool reads: the last file sent, in a line and in JSON.
        const QString envoye = QFileInfo(a.ListeEmissions().first().section(" - ", 1)).fileName();
        QVERIFY2(a.ligneEtat().contains(QRegularExpression("dernier envoi : " + envoye + " le \\d\\d/\\d\\d/\\d{4} ")),
                 qPrintable(a.ligneEtat()));
        const QJsonObject dernier = QJsonDocument::fromJson(a.ligneEtat(true).toUtf8()).object().value("dernierEnvoi").toObject();
        QCOMPARE(dernier.value("fichier").toString(), envoye);
        QVERIFY(QDateTime::fromString(dernier.value("date").toString(), Qt::ISODate).isValid());
        for (const QString &ligne : a.ListeEmissions())
            QVERIFY2(dateHeure.match(ligne).hasMatch() && !ligne.contains("ERREUR"), qPrintable(ligne));
        QVERIFY(b.ListeRéceptions().first().endsWith(" (" + s.b.chemin("Recus de B/GROS.BIN") + ")")); // newest first

        // The close box while connected asks first; No keeps everything.
        s.boites.repondre(Reponse::Non);
        QVERIFY(a.Form_QueryUnload(FMain::FermetureParLaCase));
        QCOMPARE(s.boites.boites.last().message, QStringLiteral("Etes vous sûr de vouloir interrompre la communication ?"));
        QCOMPARE(a.CocheConnecter(), 1);
        s.boites.repondre(Reponse::Oui);
        s.a.vue.etat = 0; // brought back by the user: its position is kept
        QVERIFY(!a.Form_QueryUnload(FMain::FermetureParLaCase));
        QCOMPARE(s.a.vue.codeSortie, 0);
        QVERIFY(!s.a.lien().FrmComm); // the port closed and the position stored by Terminer
        QVERIFY(lireFichier(s.a.chemin("navette.INI")).contains("LEFT=200\nTOP=100\n"));

        // The called station loses its line: "En cours ...", the scanner stops, no box.
        s.plateforme.avancer(10'000);
        QVERIFY(b.ListeInfo().filter(QRegularExpression(" : Modem déconnecté$")).size() == 1);
        QCOMPARE(b.CocheConnecter(), 2);
        QCOMPARE(b.CocheSynchro(), 0);
        QVERIFY(s.boites.boitesTempo.isEmpty());
    }

    void cableSansModem_data()
    {
        QTest::addColumn<QByteArray>("clesA");
        QTest::addColumn<QByteArray>("clesB");
        QTest::addColumn<int>("ecartMs");      // B starts this long after A
        QTest::addColumn<bool>("tousDeuxMenent"); // each leads by its own setting: the other does not show its rank
        const QByteArray appelant = "PosteAppellant=-1\n", ancien = "ProtocoleEtendu=0\n";
        QTest::newRow("même instant, tous deux appelants") << appelant << appelant << 0 << false;
        QTest::newRow("même instant, A appelant") << appelant << QByteArray() << 0 << false;
        QTest::newRow("même instant, aucun appelant") << QByteArray() << QByteArray() << 0 << false;
        QTest::newRow("B 40 s après A") << QByteArray() << QByteArray() << 40'000 << false;
        QTest::newRow("A 2 s après B, au milieu de son script") << QByteArray() << QByteArray() << -2'000 << false;
        QTest::newRow("B sans le protocole étendu, tous deux appelants") << appelant << appelant + ancien << 0 << true;
    }

    void cableSansModem()
    {
        // A cable answers no modem script: each end says so once, tests the other whatever
        // its role, and answers the other's test while it waits for its own answer.
        QFETCH(QByteArray, clesA);
        QFETCH(QByteArray, clesB);
        QFETCH(int, ecartMs);
        QFETCH(bool, tousDeuxMenent);
        DeuxStationsSurCable s({.bauds = 115200});
        StationSimulee &premiere = ecartMs >= 0 ? s.a : s.b, &seconde = ecartMs >= 0 ? s.b : s.a;
        DeuxStationsSurCable::charger(s.a, "A", "COM1:", clesA);
        DeuxStationsSurCable::charger(s.b, "B", "COM2:", clesB);
        // Each activation waits inside itself: the second runs within the first's waits.
        s.plateforme.planifier(0, [&] { premiere.fenetre().Form_Activate(); });
        s.plateforme.planifier(qint64(std::abs(ecartMs)) * 1000, [&] { seconde.fenetre().Form_Activate(); });
        s.plateforme.avancer(std::abs(ecartMs) + 10'000);
        const auto infos = [](StationSimulee *app) { return app->fenetre().ListeInfo().join('\n').toUtf8(); };
        for (StationSimulee *app : {&s.a, &s.b}) {
            QVERIFY2(app->fenetre().CocheConnecter() == 1, infos(app).constData());
            QCOMPARE(app->fenetre().ListeInfo().filter(" : Pas de modem sur la ligne : câble direct").size(), 1);
            QVERIFY(app->fenetre().ListeInfo().filter("Echec de paramétrage. (Essai").isEmpty());
            if (ecartMs == 0) // crossing tests are both answered
                QVERIFY2(app->fenetre().ListeInfo().filter("Temps d'attente de réponse écoulé. (OUI").isEmpty(), infos(app).constData());
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

    void coupureEnPleinFichier_data()
    {
        QTest::addColumn<int>("coupure");
        QTest::newRow("adaptateur retiré dix minutes, puis remis") << int(AdaptateurRetire);
        QTest::newRow("SIGTERM chez l'expéditeur") << int(SignalDArret);
        QTest::newRow("Oui à la question de fermeture") << int(OuiALaFermeture);
        QTest::newRow("le destinataire s'arrête") << int(ArretDuDestinataire);
    }

    void coupureEnPleinFichier()
    {
        // Whatever cuts a file half-way, nothing partial is delivered, the sender keeps the
        // file, and it arrives whole, once, when the link is back.
        QFETCH(int, coupure);
        DeuxStationsSurModems s;
        s.demarrer();
        s.plateforme.avancer(15'000);
        const QByteArray contenu = aleatoire(20'000, 3);
        ecrireFichier(s.a.chemin("Envois à A/releve.bin"), contenu);
        StationSimulee &arretee = coupure == ArretDuDestinataire ? s.b : s.a;
        bool coupe = false;
        s.b.lien().ProgressRecept.connecter([&](qint32, qint32) {
            if (coupe || s.b.lien().TailleReceptionEnCours() < 8 * 1024)
                return;
            coupe = true;
            s.plateforme.planifier(0, [&] { // from the event loop, as a signal or a click comes
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
        QCOMPARE(fichiersDe(s.b.chemin("Recus de B")), QStringList({"RELEVE.BIN"}));
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/RELEVE.BIN")), contenu);
        QCOMPARE(fichiersDe(s.a.chemin("Envois à A")), QStringList());
        // Two of our stations: the file went on from what the receiver held.
        QCOMPARE(s.a.fenetre().ListeInfo().filter(QRegularExpression(" : Reprise de .* à l'octet [1-9]")).size(), 1);
    }

    void fichierPlusLongQueChaqueConnexion()
    {
        // The carrier goes 15 s after each CONNECT, and the file needs 23 s of line: each call
        // carries a share of it, and it arrives whole.
        ReglagesModem coupe;
        coupe.coupureApresMs = 15'000;
        coupe.vitesse = 115'200;
        DeuxStationsSurModems s(coupe, coupe);
        s.demarrer();
        s.plateforme.avancer(12'000);
        const QByteArray contenu = aleatoire(262'144, 4);
        ecrireFichier(s.a.chemin("Envois à A/long.bin"), contenu);
        // 42 s a call, 27 of them to hang up and dial again: four calls. A call whose link
        // test is held up, or whose file waits for the scanner's first pass, adds one more.
        for (int i = 0; i < 15 && fichiersDe(s.b.chemin("Recus de B")).isEmpty(); ++i)
            s.plateforme.avancer(10'000);
        QCOMPARE(fichiersDe(s.b.chemin("Recus de B")), QStringList({"LONG.BIN"}));
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/LONG.BIN")), contenu);
        QVERIFY(s.a.fenetre().ListeInfo().filter(QRegularExpression(" : Reprise de .* à l'octet [1-9]")).size() >= 2);
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
        QCOMPARE(s.boites.boitesTempo[0].message, QStringLiteral("Le poste distant s'est déconnecté.\r\nVoulez vous le rappeller ?"));
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

    void messagesEntreLesPostes()
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
        QCOMPARE(s.b.fenetre().ListeInfo().filter(" : 6 message(s) du poste distant perdu(s) : 5 attendaient déjà d'être lus.").size(),
                 1);
    }

    void listesEtProgression()
    {
        StationSurLigne s(StationSurLigne::Application);
        FMain &f = s.fenetre();
        QCOMPARE(FMain::pourcentage(512, 1024), 50);
        QCOMPARE(FMain::pourcentage(1, 8), 12);  // 12.5: ties to even
        QCOMPARE(FMain::pourcentage(3, 8), 38);  // 37.5
        f.Poste_ProgressEmission(512, 1024);
        f.Poste_ProgressEmission(1024, 1024);
        QCOMPARE(f.ListeEmissions(), QStringList({"Emission : 100 %"}));
        f.Poste_ProgressRecept(1, 8);
        f.Poste_FichierReçu("/r/X.TXT");
        QCOMPARE(f.ListeRéceptions().size(), 1); // the progress line gave way
        QVERIFY(QRegularExpression("^A : \\d\\d:\\d\\d:\\d\\d - Reçu X\\.TXT$").match(f.caption()).hasMatch());
        f.Poste_EtatTimeOut("Surveillance", "5", 30);
        QCOMPARE(f.lblTimeOut(), QStringLiteral("Surveillance-5*30"));
        f.Poste_EtatTimeOut("Non définie", "0", 0);
        QCOMPARE(f.lblTimeOut(), QStringLiteral("Non définie"));
        f.Poste_Information("ligne\r\nsuivante");
        QVERIFY(f.ListeInfo().first().endsWith(" : ligne\nsuivante"));
        QCOMPARE(f.caption(), QStringLiteral("A : ligne\nsuivante"));
        QString reponse;
        f.Poste_CommandeReçue("Pas de porteuse.", reponse);
        QVERIFY(f.ListeInfo().first().endsWith(" : Pas de porteuse."));
        // The other station's words are never taken for a verdict of the link.
        f.Poste_CommandeReçue("Connexion vérifiée", reponse);
        QVERIFY(f.ListeInfo().first().endsWith(" : Connexion vérifiée"));
        f.Poste_LiaisonVerifiee(VerdictLiaison::VerifieeAvecHorloge);
        QVERIFY(f.ListeInfo().first().endsWith(" : Connexion vérifiée."));

        // The 256th file since start-up cuts the list back to its 99 newest lines.
        for (int i = 2; i <= 256; ++i)
            f.Poste_FichierReçu(QStringLiteral("/r/F%1").arg(i));
        QCOMPARE(f.ListeRéceptions().size(), 99);
        QVERIFY(f.ListeRéceptions().first().endsWith("(/r/F256)"));
        f.Poste_FichierReçu("/r/F257");
        QCOMPARE(f.ListeRéceptions().size(), 100);
        f.BtnEffacerReceptions_Click();
        QVERIFY(f.ListeRéceptions().isEmpty());
        const int infos = int(f.ListeInfo().size());
        for (int i = infos + 1; i <= 256; ++i)
            f.Poste_Information(QString::number(i));
        QCOMPARE(f.ListeInfo().size(), 99);
        f.ListeInfo_Click(0);
        QVERIFY(f.tooltipInfo().endsWith(" : 256"));
    }
};

QTEST_GUILESS_MAIN(TstFMain)
#include "tst_fmain.moc"
