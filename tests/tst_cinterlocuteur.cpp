#include "link/CInterlocuteur.h"
#include "platform/Minuterie.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/StationSurLigne.h"

#include <QTest>

using Station = StationSurLigne;

class TstCInterlocuteur : public QObject
{
    Q_OBJECT

private slots:
    void fichierDeConfiguration_data()
    {
        // What the station reads from its section, the file after that read (the keys it
        // normalises or misses written, nothing else), and every line it does not own kept
        // once it has written all its keys back.
        QTest::addColumn<QByteArray>("avant");
        QTest::addColumn<QString>("lu"); // port|settings|calls|number|silent|clock|speed|script|position; "" if unread
        QTest::addColumn<QByteArray>("apres");
        const QByteArray manquantes = "Silencieux=0\nSvrHoraire=0\n";
        const QByteArray toutes = "; poste de la station de pompage\n[port 1]\nNumPort = 3\nParametresPort=9600, e, 7, 2\n"
                                  "PosteAppellant=-1\nNumTelAppel=0612345678\nSilencieux=Oui\nSvrHoraire=2\n"
                                  "PARAMÈTRE VITESSE=&N8\nLEFT=5000\nTOP=120.6\nligne sans signification\n";
        QTest::newRow("toutes les clés, LEFT hors de l'écran")
            << toutes << "COM3:|9600, e, 7, 2|1|0612345678|0|1|&N8|ATZ0|0,121"
            << QByteArray(toutes).replace("NumPort = 3", "NumPort=COM3:").replace("Silencieux=Oui", "Silencieux=0");
        const QByteArray blancs = "[Port 1]\nNumPort=COM1:\nParametresPort=9600, e , 7, 1 \nParamètre vitesse= &N8\nNumTelAppel= 0102 \n";
        QTest::newRow("valeurs avec leurs blancs") << blancs << "COM1:|9600, e , 7, 1 |0| 0102 |0|0| &N8|ATZ0|100,80"
                                                   << blancs + manquantes;
        const QByteArray complet = "[Port 1]\r\nNumPort=COM1:\r\nSilencieux=-1\r\nSvrHoraire=0\r\nScriptInit=ATZ0|AT&F0\r\n";
        QTest::newRow("rien à changer : octet pour octet") << complet << "COM1:|38400, n, 8, 1|0||1|0||ATZ0|AT&F0|100,80" << complet;
        QByteArray binaire;
        for (int i = 0; i < 4096; ++i)
            binaire.append(char((i * 7919) % 256));
        QTest::newRow("binaire") << binaire << "" << binaire;
        QTest::newRow("pas de fichier : une ligne vide") << QByteArray() << "" << QByteArray("\n");
        const QByteArray longue = "[Port 1]\nNumTelAppel=" + QByteArray(100 * 1024, '9') + "\nNumPort=COM4:\n";
        QTest::newRow("ligne de 100 Kio") << longue << "COM4:" << longue + manquantes;
        QTest::newRow("doublons : le premier compte")
            << QByteArray("[Port 1]\nNumPort=COM5:\nNumPort=COM6:\n[PORT 1]\nNumPort=COM7:\n") << "COM5:"
            << "[Port 1]\nNumPort=COM5:\nNumPort=COM6:\n" + manquantes + "[PORT 1]\nNumPort=COM7:\n";
        const QByteArray crochet = "[Port 1]]\nNumPort=COM8:\n[Port 1]\nNumPort=COM9:\n";
        QTest::newRow("crochet dans le nom") << crochet << "COM9:" << crochet + manquantes;
        const QByteArray egal = "[Port 1]\nNumPort=COM1:\nParametresPort=a=b\n";
        QTest::newRow("égal dans la valeur") << egal << "COM1:|a=b" << egal + manquantes;
        const QByteArray cp1252 = "[Port 1]\nNumPort=COM2:\nParam\xE8tre vitesse=&N8\n";
        QTest::newRow("windows-1252") << cp1252 << "COM2:|38400, n, 8, 1|0||0|0|&N8" << cp1252 + manquantes;
    }

    void fichierDeConfiguration()
    {
        QFETCH(QByteArray, avant);
        QFETCH(QString, lu);
        QFETCH(QByteArray, apres);
        Station s;
        if (!avant.isNull())
            ecrireFichier(s.cheminIni(), avant);
        CInterlocuteur &p = s.creer();
        QCOMPARE(p.Initialiser(), !lu.isEmpty());
        QCOMPARE(lireFichier(s.cheminIni()), apres);
        if (lu.isEmpty()) {
            QCOMPARE(s.boites.boites.value(0).message, "Erreur de lecture dans le fichier " + s.cheminIni());
            QVERIFY(p.FrmComm);
            return;
        }
        const QString lus = QStringList({p.FrmComm->msNumPort, p.FrmComm->msSettings, QString::number(p.Parametres.PosteAppellant),
                                         p.Parametres.NumTelAppel, QString::number(p.Parametres.Silencieux), QString::number(p.Parametres.SvrHoraire),
                                         p.Parametres.VitesseConx, p.Parametres.ScriptInit,
                                         QStringLiteral("%1,%2").arg(s.proprietaire.position.x()).arg(s.proprietaire.position.y())})
                                .join('|');
        QVERIFY2(lus.startsWith(lu), qPrintable(lus));
        // Writing all its keys back keeps every line, values with their blanks included; only
        // "2", read as true, is written back as "-1".
        p.Configurer();
        const QByteArray ecrit = lireFichier(s.cheminIni());
        for (const QByteArray &ligne : apres.split('\n'))
            if (ligne != "SvrHoraire=2")
                QVERIFY2(ecrit.contains(ligne), ligne.left(60).constData());
    }

    void ecritureImpossible()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        ecrireFichier(s.dossier.filePath("fichier"), "x");
        s.ini.setFichier(s.dossier.filePath("fichier/navette.INI")); // a folder that cannot exist
        p.Parametres.CheminFichiersRecus = s.dossier.filePath("fichier/reçus");
        p.Configurer();
        QCOMPARE(s.informations.size(), 1);
        QVERIFY(s.informations[0].startsWith(QStringLiteral("Écriture du fichier")));
        QCOMPARE(lireFichier(s.dossier.filePath("fichier")), QByteArray("x"));
    }

    void cheminDonneEtDossiersCreesALaLecture()
    {
        Station s;
        const QString recus = s.dossier.filePath("recus"), aEnvoyer = s.dossier.filePath("a/envoyer");
        ecrireFichier(s.cheminIni(), ("[Port 1]\nNumPort=COM1:\nCheminFichiersRecus=" + recus + "\nCheminFichiersAEnvoyer=" + aEnvoyer + "\n").toUtf8());
        CInterlocuteur &p = s.creer();
        p.Initialiser();
        QVERIFY(QFileInfo(recus).isDir());
        QVERIFY(!QFileInfo(aEnvoyer).exists()); // one level only: its parent is missing
        QCOMPARE(p.Parametres.CheminFichiersAEnvoyer, aEnvoyer);

        // A file and section given: the "Données" folder rule is the program's (tst_fmain).
        Station t;
        ecrireFichier(t.dossier.filePath("autre.ini"), "[navette 1]\nNumPort=TCP1:\n");
        CInterlocuteur &q = t.creer();
        QVERIFY(q.Initialiser(t.dossier.filePath("autre.ini")));
        QCOMPARE(q.SectionConfig(), QStringLiteral("navette 1"));
        QCOMPARE(q.FrmComm->msNumPort, QStringLiteral("TCP1:"));
    }

    void receptionGardeLeCompteurEtReArmerRedemarre()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        p.armer(GenreSupervision::Surveillance, true);
        p.armer(GenreSupervision::Reception);
        QCOMPARE(s.etats.last(), QStringLiteral("Réception|5|5"));
        s.plateforme.avancer(3000);
        const quint32 deuxieme = s.plateforme.tickMs();
        p.armer(GenreSupervision::Reception);
        quint32 instantTic = 0;
        p.Information.connecter([&](const QString &) {
            if (!instantTic)
                instantTic = s.plateforme.tickMs();
        });
        s.plateforme.avancer(5500);
        QCOMPARE(instantTic - deuxieme, 5000u); // a full interval after the second arming
    }

    void envoyerCommandeRendLEtatDeLaMinuterie()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        bool activePendant = true;
        s.surReceptionPair = [&](const QByteArray &) { activePendant = p.TimeOut()->Enabled(); };
        p.TimeOut()->setEnabled(false);
        QVERIFY(p.EnvoyerCommande("MESSAGE=bonjour", "", 3000));
        QVERIFY(!p.TimeOut()->Enabled());
        p.armer(GenreSupervision::Surveillance);
        QVERIFY(!p.EnvoyerCommande("YAQUELQUUN?", "OUI", 3000)); // nobody answers
        QVERIFY(p.TimeOut()->Enabled());
        QVERIFY(!activePendant);
    }

    void detruitAToutInstant_data()
    {
        QTest::addColumn<QByteArray>("cles");
        QTest::addColumn<bool>("raccroche"); // B hangs up; else B sends a file while A sends one
        QTest::addColumn<int>("instantMs");
        for (int ms = 0; ms <= 4200; ms += 300) {
            QTest::addRow("échange d'origine, %d ms", ms) << QByteArray("ProtocoleEtendu=0\n") << false << ms;
            QTest::addRow("échange étendu, %d ms", ms) << QByteArray() << false << ms;
            QTest::addRow("raccrochage, %d ms", ms) << QByteArray() << true << ms;
        }
    }

    void detruitAToutInstant()
    {
        // Whatever B waits for when its owner ends it (a command, an answer, a file stored and
        // acknowledged, a hang-up), nothing touches B afterwards: the sanitizers' run says so.
        // A keeps its file, B never holds half of it, and B's own archive goes with B.
        QFETCH(QByteArray, cles);
        QFETCH(bool, raccroche);
        QFETCH(int, instantMs);
        DeuxStationsSurCable banc({.bauds = 115200});
        banc.demarrer(cles, cles);
        banc.reconnaitre();
        const QByteArray deA = aleatoire(20'000, 1);
        ecrireFichier(banc.a.chemin("envoi/a.bin"), deA);
        ecrireFichier(banc.b.chemin("envoi/b.bin"), aleatoire(20'000, 2));
        banc.plateforme.planifier(qint64(instantMs) * 1000, [&] { banc.b.poste.reset(); });
        banc.plateforme.planifier(0, [&] {
            if (banc.b.poste && raccroche)
                banc.b.poste->Déconnecter();
            else if (banc.b.poste)
                banc.b.poste->EnvoyerFichier(banc.b.chemin("envoi/b.bin"));
        });
        banc.a.poste->EnvoyerFichier(banc.a.chemin("envoi/a.bin"));
        banc.plateforme.avancer(5000);
        QVERIFY(!banc.b.poste);
        QCOMPARE(lireFichier(banc.a.chemin("envoi/a.bin")), deA);
        QCOMPARE(fichiersDe(banc.b.chemin("Travail/Port 1")), QStringList());
        const QStringList recus = fichiersDe(banc.b.chemin("recus"));
        QVERIFY(recus.isEmpty() || (recus == QStringList{"A.BIN"} && lireFichier(banc.b.chemin("recus/A.BIN")) == deA));
    }

    void terminerDeuxFoisEtPosition()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        QVERIFY(p.FrmComm->Connecter());
        p.armer(GenreSupervision::Surveillance);
        s.proprietaire.position = QPoint(33, 44);
        p.Terminer();
        QVERIFY(!p.FrmComm);
        QVERIFY(!p.TimeOut()->Enabled());
        QVERIFY(lireFichier(s.cheminIni()).contains("LEFT=33\nTOP=44\n"));
        QVERIFY(s.informations.contains("Port de communication fermé"));
        QVERIFY(!p.Connecter());
        s.plateforme.executerTout();
        QVERIFY(s.recuParLePair.isEmpty());
        p.Terminer();
        s.poste.reset(); // destruction runs it a third time
        QCOMPARE(s.proprietaire.terminaisonsInstance, 1);

        Station m;
        m.creerConfiguree("COM1:", "LEFT=7\nTOP=8\n");
        m.proprietaire.minimisee = true;
        m.proprietaire.position = QPoint(-32000, -32000);
        m.poste.reset();
        QVERIFY(lireFichier(m.cheminIni()).contains("LEFT=7\nTOP=8\n"));
    }
};

QTEST_GUILESS_MAIN(TstCInterlocuteur)
#include "tst_cinterlocuteur.moc"
