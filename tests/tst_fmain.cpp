// The main window's logic in virtual time: start-up and its folders, the connect box's three
// states, the lists, the status line and the close box of a station linked to another.
#include "link/CInterlocuteur.h"
#include "tests/support/DeuxStationsSurModems.h"
#include "tests/support/StationSurLigne.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>


namespace {
const QRegularExpression dateHeure(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d"));
}

class TstFMain : public QObject
{
    Q_OBJECT

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
        // Received files stay, whatever they are called: received names are upper-case.
        StationSurLigne app;
        for (const char *reste : {"Recus de B/UNZIP/A.TXT.ZQZIP", "Recus de B/.navette-ab12cd.tmp", "Travail/Port B/Extraction/A.TXT"}) {
            QDir().mkpath(QFileInfo(app.chemin(reste)).absolutePath());
            ecrireFichier(app.chemin(reste), "reste");
        }
        const QStringList recus{".NAVETTE-AB12CD.TMP", ".NAVETTE-X.TMP", "GARDE.TXT"};
        for (const QString &nom : recus)
            ecrireFichier(app.chemin("Recus de B/" + nom), "reçu avant");
        FMain &f = app.charger("[Port B]\nNumPort=COM1:\n", "B");
        QCOMPARE(f.ListeInfo().filter("Restes d'une réception interrompue supprimés au démarrage : 3 fichier(s)").size(), 1);
        for (int redemarrage = 0; redemarrage < 2; ++redemarrage) {
            app.principale.reset();
            app.charger(QByteArray(), "B");
        }
        QCOMPARE(QDir(app.chemin("Recus de B")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), recus);
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

        // Two files, one of several parts: the lists and the status line (both ways at once
        // is the end-to-end tests' business).
        const QByteArray petit = "bonjour de A", gros = aleatoire(6000, 1);
        ecrireFichier(s.a.chemin("Envois à A/petit.txt"), petit);
        ecrireFichier(s.a.chemin("Envois à A/gros.bin"), gros);
        s.plateforme.avancer(60'000);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/PETIT.TXT")), petit);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/GROS.BIN")), gros);
        QCOMPARE(fichiersDe(s.a.chemin("Envois à A")), QStringList());
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
