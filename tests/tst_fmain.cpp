// The main window's logic in virtual time: start-up, the three states of a connection, the
// scanner, line drops and the reconnection offer, messages, and two whole applications
// exchanging files over emulated modems.
#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "tests/support/ApplicationSimulee.h"
#include "tests/support/BancLigne.h"
#include "tests/support/DeuxApplications.h"
#include "tests/support/DeuxApplicationsSurCable.h"
#include "tests/support/PosteSimule.h"
#include "tests/support/SurveillanceDossierSimulee.h"
#include "tools/modem/LigneSimulee.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

#include <random>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Root reads everything: without these two capabilities it obeys a file's mode like anyone.
bool lectureSansDroits(bool permise)
{
    __user_cap_header_struct entete{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct donnees[2]{};
    if (syscall(SYS_capget, &entete, donnees) != 0)
        return false;
    for (const unsigned cap : {unsigned(CAP_DAC_OVERRIDE), unsigned(CAP_DAC_READ_SEARCH)}) {
        if (permise)
            donnees[cap / 32].effective |= donnees[cap / 32].permitted & (1u << (cap % 32));
        else
            donnees[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &entete, donnees) == 0;
}

const QRegularExpression dateHeure(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d"));

// One station whose line ends at a scripted peer that answers as a station would.
struct StationSeule : BancLigne
{
    StationSeule() : app(env())
    {
        app.surveillanceDossier = [this] {
            auto v = std::make_unique<SurveillanceDossierSimulee>(plateforme);
            veille = v.get();
            return v;
        };
        repondeur = [this](const QByteArray &t) -> QByteArray {
            if (muet)
                return {};
            if (t.startsWith("RECEPFICHIER")) {
                recus << t.mid(13, int(static_cast<unsigned char>(t[12])));
                if (recus.last() == refuse)
                    return {};
            }
            return reponseDePoste(t);
        };
        app.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\n", "A");
    }
    QString envoi(const QString &nom) { return app.chemin("Envois à A/" + nom); }
    ApplicationSimulee app;
    SurveillanceDossierSimulee *veille = nullptr; // made when the scanner goes on
    QList<QByteArray> recus; // names of the files the peer was sent
    bool muet = false;
    QByteArray refuse; // the name of a file never acknowledged
};
}

class TstFMain : public QObject
{
    Q_OBJECT

    // How a file comes into the outgoing folder, and what the system says of it.
    // What cuts a file in parts half-way.
    enum Coupure { AdaptateurRetire, SignalDArret, OuiALaFermeture, ArretDuDestinataire };

    enum Depot { EcrivainEnPause, GardeOuvert, DeplaceMemeDisque, CopieAutreDisque, SansFermetures, PendantUnEnvoi,
                 SansEvenement, ApresMiseEnRoute, SynchroArretee };

private slots:
    void demarrageNomFichierEtDossiers()
    {
        PlateformeSimulee p;
        BoitesMessageScriptees boites;
        GestionPortsSimules ports;
        DisqueSimule disque;
        {
            // Named on the command line: the window neither reads nor writes "Defaut".
            ApplicationSimulee app({p, boites, ports, disque});
            FMain &f = app.charger("[Port B]\nNumPort=COM1:\n", "B");
            QCOMPARE(f.caption(), QStringLiteral("B : Navette"));
            QVERIFY(QFileInfo(app.chemin("Envois à B")).isDir() && QFileInfo(app.chemin("Recus de B")).isDir());
            QVERIFY(!lireFichier(app.chemin("navette.INI")).contains("Defaut"));
            QVERIFY(app.vue.sablier);
            // Not connected: the close box ends the program without a question.
            const qsizetype boitesAvant = boites.boites.size();
            QVERIFY(!f.Form_QueryUnload(FMain::FermetureParLaCase));
            QCOMPARE(boites.boites.size(), boitesAvant);
            QCOMPARE(app.vue.codeSortie, 0);
        }
        {
            // No name and no file: the file is made, in "Données" when it exists, with "A".
            ApplicationSimulee app({p, boites, ports, disque});
            QDir(app.dossier.path()).mkdir("Données");
            FMain &f = app.charger(QByteArray());
            QCOMPARE(lireFichier(app.chemin("Données/navette.INI")), QByteArray("\n[Defaut]\nConnexion à=A\n"));
            QCOMPARE(f.caption(), QStringLiteral("A : Navette"));
            QVERIFY(boites.boites.last().message.startsWith("Erreur de lecture dans le fichier "));
            QVERIFY(QFileInfo(app.chemin("Envois à A")).isDir()); // beside the program, not in "Données"
        }
        {
            // Folders of its own; one that cannot be made ends the program.
            ApplicationSimulee app({p, boites, ports, disque});
            ecrireFichier(app.chemin("fichier"), "x");
            app.charger("[Port A]\nNumPort=COM1:\nCheminFichiersAEnvoyer=" + app.chemin("sortie").toUtf8()
                            + "\nCheminFichiersRecus=" + app.chemin("fichier/recus").toUtf8() + "\n",
                        "A");
            QVERIFY(QFileInfo(app.chemin("sortie")).isDir());
            QVERIFY(!QFileInfo::exists(app.chemin("Envois à A")));
            QCOMPARE(boites.boites.last().message, "Impossible de créer le répertoire " + app.chemin("fichier/recus"));
            QCOMPARE(boites.boites.last().titre, QStringLiteral("Navette"));
            QCOMPARE(app.vue.codeSortie, 1);
        }
    }

    void liensPlantes_data()
    {
        // Where a link (or a pipe) is planted, what it points to, and what A then sends.
        QTest::addColumn<QString>("plante");
        QTest::addColumn<bool>("tube");
        QTest::addColumn<bool>("cibleExiste");
        QTest::addColumn<QString>("envoye");
        QTest::addColumn<QString>("ditParA");
        const QString nonOrdinaire = "n'est pas un fichier ordinaire (%1) : il n'est pas envoyé et reste dans le dossier.";
        QTest::newRow("envoi : lien vers un fichier lisible") << "Envois à A/secret.txt" << false << true << "ok.txt"
                                                              << nonOrdinaire.arg("lien symbolique");
        QTest::newRow("envoi : lien cassé") << "Envois à A/secret.txt" << false << false << "ok.txt" << nonOrdinaire.arg("lien symbolique");
        QTest::newRow("envoi : tube nommé") << "Envois à A/tube" << true << false << "ok.txt" << nonOrdinaire.arg("fichier spécial");
        QTest::newRow("réception : lien cassé au nom du fichier") << "Recus de B/OK.TXT" << false << false << "ok.txt" << "";
        QTest::newRow("réception : lien vers un fichier au nom du fichier") << "Recus de B/OK.TXT" << false << true << "ok.txt" << "";
        QTest::newRow("extraction : lien au nom du fichier extrait") << "Travail/Port B/Extraction/GROS.TXT" << false << true
                                                                     << "gros.txt" << "";
        QTest::newRow("extraction : lien au nom de l'archive") << "Travail/Port B/Extraction/GROS.TXT.ZQZIP" << false << true
                                                               << "gros.txt" << "";
        // The station's own file: the link is replaced by it, its target untouched.
        QTest::newRow("mémoire des fichiers reçus : lien à sa place") << "Travail/Port B/Mémoire/recus" << false << true << "ok.txt"
                                                                      << "";
    }

    void liensPlantes()
    {
        // Nothing planted in the stations' folders is followed or overwritten, and the files
        // around it still cross.
        QFETCH(QString, plante);
        QFETCH(bool, tube);
        QFETCH(bool, cibleExiste);
        QFETCH(QString, envoye);
        QFETCH(QString, ditParA);
        DeuxApplicationsSurCable s;
        DeuxApplicationsSurCable::charger(s.a, "A", "COM1:", "ProtocoleEtendu=0\n");
        DeuxApplicationsSurCable::charger(s.b, "B", "COM2:", "ProtocoleEtendu=0\n");
        ApplicationSimulee &poste = plante.startsWith("Envois") ? s.a : s.b;
        const QString lien = poste.chemin(plante), cible = poste.chemin("cible");
        QDir().mkpath(QFileInfo(lien).absolutePath());
        if (cibleExiste)
            ecrireFichier(cible, "intact");
        QVERIFY(tube ? ::mkfifo(QFile::encodeName(lien).constData(), 0600) == 0 : QFile::link(cible, lien));
        s.plateforme.planifier(0, [&] { s.a.fenetre().Form_Activate(); });
        s.plateforme.planifier(0, [&] { s.b.fenetre().Form_Activate(); });
        s.plateforme.avancer(10'000);
        const QByteArray contenu = envoye == "gros.txt" ? QByteArray("colonne;valeur\r\n").repeated(300) : QByteArray("bonjour");
        ecrireFichier(s.a.chemin("Envois à A/" + envoye), contenu);
        s.plateforme.avancer(60'000);
        QStringList recus = fichiersDe(s.b.chemin("Recus de B"));
        if (plante.startsWith("Recus"))
            recus.removeOne(QFileInfo(lien).fileName()); // stored beside it, under a stamped name
        QVERIFY2(recus.filter(envoye.toUpper()).size() == 1, qPrintable(recus.join(',')));
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/" + recus.filter(envoye.toUpper()).first())), contenu);
        QVERIFY(recus.filter("SECRET").isEmpty() && recus.filter("TUBE").isEmpty());
        QCOMPARE(QFileInfo(lien).isSymLink(), !tube && !plante.contains("Mémoire"));
        QCOMPARE(QFileInfo::exists(cible), cibleExiste);
        if (cibleExiste)
            QCOMPARE(lireFichier(cible), QByteArray("intact"));
        if (!ditParA.isEmpty())
            QCOMPARE(s.a.fenetre().ListeInfo().filter(ditParA).size(), 1); // said once, over many scans
    }

    void restesDUneReceptionInterrompue()
    {
        // Left by a power cut in the middle of receptions: an older station's extraction
        // folder, a temporary file of ours, an extraction of ours. None was acknowledged.
        PlateformeSimulee p;
        BoitesMessageScriptees boites;
        GestionPortsSimules ports;
        DisqueSimule disque;
        ApplicationSimulee app({p, boites, ports, disque});
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
        DeuxApplications s;
        s.demarrer();
        FMain &a = s.a.fenetre(), &b = s.b.fenetre();
        QCOMPARE(a.CocheConnecter(), 2); // dialling
        QVERIFY(a.italiqueCocheConnecter());
        QCOMPARE(s.a.vue.etat, 1);        // the first state shown minimises the window
        QVERIFY(!a.demarrage());
        s.plateforme.avancer(15'000);
        for (ApplicationSimulee *app : {&s.a, &s.b}) {
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
        QVERIFY(!s.a.poste().FrmComm); // the port closed and the position stored by Terminer
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
        DeuxApplicationsSurCable s;
        ApplicationSimulee &premiere = ecartMs >= 0 ? s.a : s.b, &seconde = ecartMs >= 0 ? s.b : s.a;
        DeuxApplicationsSurCable::charger(s.a, "A", "COM1:", clesA);
        DeuxApplicationsSurCable::charger(s.b, "B", "COM2:", clesB);
        // Each activation waits inside itself: the second runs within the first's waits.
        s.plateforme.planifier(0, [&] { premiere.fenetre().Form_Activate(); });
        s.plateforme.planifier(qint64(std::abs(ecartMs)) * 1000, [&] { seconde.fenetre().Form_Activate(); });
        s.plateforme.avancer(std::abs(ecartMs) + 10'000);
        const auto infos = [](ApplicationSimulee *app) { return app->fenetre().ListeInfo().join('\n').toUtf8(); };
        for (ApplicationSimulee *app : {&s.a, &s.b}) {
            QVERIFY2(app->fenetre().CocheConnecter() == 1, infos(app).constData());
            QCOMPARE(app->fenetre().ListeInfo().filter(" : Pas de modem sur la ligne : câble direct").size(), 1);
            QVERIFY(app->fenetre().ListeInfo().filter("Echec de paramétrage. (Essai").isEmpty());
            if (ecartMs == 0) // crossing tests are both answered
                QVERIFY2(app->fenetre().ListeInfo().filter("Temps d'attente de réponse écoulé. (OUI").isEmpty(), infos(app).constData());
        }
        QVERIFY(s.boites.boitesTempo.isEmpty());
        QCOMPARE(s.a.poste().meneLaLiaison() + s.b.poste().meneLaLiaison(), tousDeuxMenent ? 2 : 1);
        QCOMPARE(s.a.poste().extensionActive(), !tousDeuxMenent);

        const QByteArray deA = aleatoire(20'000, 1), deB = aleatoire(20'000, 2);
        ecrireFichier(s.a.chemin("Envois à A/dea.bin"), deA);
        ecrireFichier(s.b.chemin("Envois à B/deb.bin"), deB);
        s.plateforme.avancer(60'000);
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/DEA.BIN")), deA);
        QCOMPARE(lireFichier(s.a.chemin("Recus de A/DEB.BIN")), deB);

        // Both supervisions re-initialise in the same tick, as two in step would: hang up,
        // a second, connect. Their STOPs cross unheeded, their tests cross and are answered.
        for (ApplicationSimulee *app : {&s.a, &s.b})
            s.plateforme.planifier(0, [app, &s] {
                app->poste().Déconnecter();
                MGlobal::Attendre(s.plateforme, 1000);
                app->poste().Connecter();
            });
        s.plateforme.avancer(10'000);
        for (ApplicationSimulee *app : {&s.a, &s.b}) {
            QVERIFY(app->poste().ModemEtatConnexion());
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
        DeuxApplications s;
        s.demarrer();
        s.plateforme.avancer(15'000);
        const QByteArray contenu = aleatoire(20'000, 3);
        ecrireFichier(s.a.chemin("Envois à A/releve.bin"), contenu);
        ApplicationSimulee &arretee = coupure == ArretDuDestinataire ? s.b : s.a;
        bool coupe = false;
        s.b.poste().ProgressRecept.connecter([&](qint32, qint32) {
            if (coupe || s.b.poste().TailleReceptionEnCours() < 8 * 1024)
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
            QVERIFY(s.a.poste().TimeOut()->Enabled());
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
        DeuxApplications s(coupe, coupe);
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
        DeuxApplications s(coupe);
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
        QVERIFY(!s.a.poste().TimeOut()->Enabled());
        s.plateforme.avancer(300'000);
        QCOMPARE(numerotations(), 1);
    }

    void messagesEntreLesPostes()
    {
        DeuxApplications s;
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

    void scannerDelaisCompagnonsEtEchecs()
    {
        StationSeule s;
        FMain &f = s.app.fenetre();
        ecrireFichier(s.envoi("a.txt"), "a");
        ecrireFichier(s.envoi("a.Log"), "journal");
        ecrireFichier(s.envoi("b.txt"), "b");
        f.setCocheSynchro(1);
        QCOMPARE(f.Clock().Interval(), 9000); // the calling station waits longer
        QCOMPARE(f.icone(), 1);
        // A first scan at 9 + 3 s sees the files, which nothing said were whole: they go once
        // they have not changed for a second.
        s.plateforme.avancer(12'900);
        QVERIFY(s.recus.isEmpty());
        s.plateforme.avancer(1200);
        QCOMPARE(s.recus, QList<QByteArray>({"b.txt"}));
        QCOMPARE(fichiersDe(s.app.chemin("Envois à A")), QStringList({"a.Log", "a.txt"}));
        QVERIFY(f.ListeEmissions().first().endsWith(" - b.txt"));

        // A file never acknowledged: the others go past it, it is tried less and less often,
        // stays where it is, and leaves once the other side takes it.
        s.recus.clear();
        s.refuse = "d.dat";
        for (const char *nom : {"c.dat", "d.dat", "e.dat"})
            ecrireFichier(s.envoi(nom), nom);
        const auto essaisDeD = [&] { return f.ListeEmissions().filter(QRegularExpression(" - ERREUR : .*d\\.dat$")).size(); };
        s.plateforme.avancer(60'000);
        QCOMPARE(s.recus.count("c.dat"), 1);
        QCOMPARE(s.recus.count("e.dat"), 1);
        QCOMPARE(s.recus.count("d.dat"), 4 * essaisDeD()); // each try starts it over three times
        QCOMPARE(f.CocheSynchro(), 1); // the link answered its test
        s.plateforme.avancer(600'000);
        QCOMPARE(essaisDeD(), 6);
        QCOMPARE(fichiersDe(s.app.chemin("Envois à A")), QStringList({"a.Log", "a.txt", "d.dat"}));
        s.refuse.clear();
        s.plateforme.avancer(20 * 60'000); // the longest wait between two tries is 16 min
        QCOMPARE(fichiersDe(s.app.chemin("Envois à A")), QStringList({"a.Log", "a.txt"}));

        // Clicking the error line: No opens the file, Yes deletes it; a sent line only shows.
        ecrireFichier(s.envoi("f.dat"), "f");
        s.muet = true;
        s.plateforme.avancer(10'000);
        const int ligne = int(f.ListeEmissions().indexOf(QRegularExpression(".* - ERREUR : .*f\\.dat$")));
        QVERIFY(ligne >= 0);
        s.app.vue.editeurPresent = false;
        s.boites.repondre(Reponse::Non);
        f.ListeEmissions_Click(ligne);
        QCOMPARE(s.app.vue.edites, QStringList({s.envoi("f.dat")}));
        QVERIFY(f.ListeInfo().first().endsWith("Aucun éditeur de texte ne s'ouvre pour " + s.envoi("f.dat")));
        s.boites.repondre(Reponse::Oui);
        f.ListeEmissions_Click(int(f.ListeEmissions().indexOf(QRegularExpression(".* - ERREUR : .*f\\.dat$"))));
        QVERIFY(!QFile::exists(s.envoi("f.dat")));
        QVERIFY(s.boites.boites.last().boutons & Boutons::DefautBouton2);
        const int boitesAvant = int(s.boites.boites.size());
        f.ListeEmissions_Click(int(f.ListeEmissions().indexOf(QRegularExpression(".* - b\\.txt$"))));
        QCOMPARE(s.boites.boites.size(), boitesAvant + 1);
        QCOMPARE(s.boites.boites.last().boutons, int(Boutons::OK));

        // The silent link after that failure: scanner off, disconnected, then a new connection.
        QCOMPARE(f.CocheSynchro(), 0);
        QVERIFY(!f.ListeInfo().filter("Paramétrage ATZ0").isEmpty());
    }

    void fichierIllisibleNeRetientPasLesAutres()
    {
        StationSeule s;
        FMain &f = s.app.fenetre();
        ecrireFichier(s.envoi("secret.dat"), "x");
        ecrireFichier(s.envoi("libre.dat"), "y");
        QFile::setPermissions(s.envoi("secret.dat"), QFileDevice::WriteOwner);
        QVERIFY(lectureSansDroits(false));
        const auto retablir = qScopeGuard([] { lectureSansDroits(true); });
        QVERIFY2(!QFile(s.envoi("secret.dat")).open(QIODevice::ReadOnly), "ce compte lit tout : pas de fichier illisible");
        f.setCocheSynchro(1);
        s.plateforme.avancer(120'000);
        QCOMPARE(s.recus, QList<QByteArray>({"libre.dat"}));
        const QStringList dits = f.ListeInfo().filter("ne peut pas être lu");
        QCOMPARE(dits.size(), 1); // said once, not at every scan
        QVERIFY2(dits[0].contains(s.envoi("secret.dat") + " ne peut pas être lu (") && dits[0].contains("les autres partent"),
                 qPrintable(dits[0]));
        QFile::setPermissions(s.envoi("secret.dat"), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        s.plateforme.avancer(60'000);
        QCOMPARE(s.recus, QList<QByteArray>({"libre.dat", "secret.dat"}));
    }

    void fichierPret_data()
    {
        QTest::addColumn<int>("depot");
        QTest::addColumn<int>("pasAvantMs");   // after the writer's last act, still not sent
        QTest::addColumn<int>("auPlusTardMs"); // sent by then
        QTest::newRow("écrivain en pause au milieu") << int(EcrivainEnPause) << 0 << 300;
        QTest::newRow("écrivain qui garde le fichier ouvert") << int(GardeOuvert) << 0 << 300;
        QTest::newRow("déplacé depuis le même disque") << int(DeplaceMemeDisque) << 0 << 300;
        QTest::newRow("copié depuis un autre disque") << int(CopieAutreDisque) << 0 << 300;
        QTest::newRow("système qui ne dit pas les fermetures") << int(SansFermetures) << 400 << 800;
        QTest::newRow("déposé pendant un autre envoi") << int(PendantUnEnvoi) << 0 << 300;
        QTest::newRow("aucun événement : le passage de 3 s") << int(SansEvenement) << 900 << 4300;
        QTest::newRow("dans l'attente qui suit la mise en route") << int(ApresMiseEnRoute) << 11'000 << 12'300;
        QTest::newRow("synchronisation arrêtée") << int(SynchroArretee) << 30'000 << -1;
    }

    void fichierPret()
    {
        QFETCH(int, depot);
        QFETCH(int, pasAvantMs);
        QFETCH(int, auPlusTardMs);
        StationSeule s;
        FMain &f = s.app.fenetre();
        f.setCocheSynchro(1);
        s.plateforme.avancer(13'000); // scanning every 3 s, idle
        QVERIFY(s.veille);
        const QString nom = QStringLiteral("releve.csv"), chemin = s.envoi(nom);
        const QByteArray contenu = aleatoire(240, 4); // one frame, uncompressed
        const auto ecrire = [&](const QByteArray &octets, bool ouvert) {
            ecrireFichier(chemin, octets);
            if (ouvert)
                s.veille->ouverts.insert(nom);
            else
                s.veille->ouverts.remove(nom);
        };
        switch (Depot(depot)) {
        case EcrivainEnPause:
        case GardeOuvert:
            // A writer that stops for a long while holds the file: it never leaves before its close.
            ecrire(depot == EcrivainEnPause ? contenu.left(100) : contenu, true);
            s.veille->signaler(nom, false);
            s.plateforme.avancer(20'000);
            QVERIFY(s.recus.isEmpty());
            ecrire(contenu, false);
            s.veille->signaler(nom, true);
            break;
        case DeplaceMemeDisque:
            ecrire(contenu, false);
            s.veille->signaler(nom, true);
            break;
        case CopieAutreDisque:
            ecrire(contenu.left(50), true);
            s.veille->signaler(nom, false);
            s.plateforme.avancer(5);
            ecrire(contenu, false);
            s.veille->signaler(nom, true);
            break;
        case SansFermetures:
            s.veille->fermetures = false;
            for (int i = 1; i <= 6; ++i) { // grows every half second: waits
                ecrire(contenu.left(40 * i), false);
                s.veille->signaler(QString(), false);
                s.plateforme.avancer(500);
                QVERIFY(s.recus.isEmpty());
            }
            break;
        case PendantUnEnvoi:
            // Seen at the end of that send, not at the next pass: the other station never sends.
            ecrireFichier(s.envoi("avant.txt"), "avant");
            s.veille->signaler("avant.txt", true);
            s.surReceptionPair = [&](const QByteArray &) {
                if (!QFile::exists(chemin) && s.recuParLePair.endsWith("FICHIER")) {
                    ecrire(contenu, false);
                    s.veille->signaler(nom, true);
                    f.Clock_Timer(); // a tick in the middle of the send starts no second scan
                }
            };
            break;
        case SansEvenement:
            s.plateforme.avancer(1500); // mid-way between two passes
            ecrire(contenu, false);
            break;
        case ApresMiseEnRoute:
            f.setCocheSynchro(0);
            f.setCocheSynchro(1);
            ecrire(contenu, false);
            s.veille->signaler(nom, true);
            break;
        case SynchroArretee:
            f.setCocheSynchro(0);
            ecrire(contenu, false);
            s.veille->signaler(nom, true);
            break;
        }
        s.plateforme.avancer(quint32(pasAvantMs));
        QVERIFY(!s.recus.contains(nom.toUtf8()));
        if (auPlusTardMs < 0)
            return;
        s.plateforme.avancer(quint32(auPlusTardMs - pasAvantMs));
        QCOMPARE(s.recus.count(nom.toUtf8()), 1);
        QVERIFY(!QFile::exists(chemin));
        QVERIFY(f.ListeEmissions().filter("ERREUR").isEmpty());
    }

    void fichierReecritPendantSonEnvoi()
    {
        // Kept, and sent again as it is now.
        StationSeule s;
        FMain &f = s.app.fenetre();
        f.setCocheSynchro(1);
        s.plateforme.avancer(13'000);
        const QString releve = s.envoi("releve.txt");
        ecrireFichier(releve, "version 1");
        bool reecrit = false;
        s.surReceptionPair = [&](const QByteArray &) {
            if (!reecrit && s.recuParLePair.endsWith("FICHIER")) {
                reecrit = true;
                ecrireFichier(releve, "version 2, plus longue");
            }
        };
        s.plateforme.avancer(7000);
        QVERIFY(reecrit);
        QVERIFY(!f.ListeInfo().filter("a changé pendant son envoi").isEmpty());
        s.plateforme.avancer(10'000);
        QVERIFY(!QFile::exists(releve));
        QVERIFY(s.recuParLePair.contains("version 2, plus longue"));
    }

    void listesEtProgression()
    {
        StationSeule s;
        FMain &f = s.app.fenetre();
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
