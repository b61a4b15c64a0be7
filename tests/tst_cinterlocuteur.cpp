#include "link/CInterlocuteur.h"
#include "platform/Minuterie.h"
#include "tests/support/BancLigne.h"
#include "tests/support/PosteSurLigne.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using Station = PosteSurLigne;

class TstCInterlocuteur : public QObject
{
    Q_OBJECT

    // The kinds an arming starts; any other is only shown.
    static void armer(CInterlocuteur &p, int genre, bool relance = false)
    {
        const auto g = GenreSupervision(genre);
        if (g == GenreSupervision::Appel || (g >= GenreSupervision::Surveillance && g <= GenreSupervision::Reinitialisation))
            p.armer(g, relance);
        else
            p.mSupervision.setGenre(g);
    }

private slots:
    void premierDemarrageSansFichier()
    {
        Station s;
        CInterlocuteur &p = s.creer();
        QVERIFY(!p.Initialiser());
        QCOMPARE(lireFichier(s.cheminIni()), QByteArray("\n"));
        QCOMPARE(s.banc.boites.boites.size(), 1);
        QCOMPARE(s.banc.boites.boites[0].message, "Erreur de lecture dans le fichier " + s.cheminIni());
        QCOMPARE(s.banc.boites.boites[0].titre, QString());
        QVERIFY(p.FrmComm);
        QCOMPARE(p.SectionConfig(), QStringLiteral("Port 1"));
    }

    void dossierDonneesEtCheminDonne()
    {
        Station s;
        QDir(s.dossier.path()).mkdir("Données");
        const QString dansDonnees = s.dossier.filePath("Données/navette.INI");
        ecrireFichier(dansDonnees, "[Port B]\nNumPort=COM2:\n");
        CInterlocuteur &p = s.creer();
        p.Index = "B";
        QVERIFY(p.Initialiser());
        QCOMPARE(p.FrmComm->msNumPort, QStringLiteral("COM2:"));
        QVERIFY(!QFile::exists(s.cheminIni()));

        Station t;
        ecrireFichier(t.dossier.filePath("autre.ini"), "[navette 1]\nNumPort=TCP1:\n");
        CInterlocuteur &q = t.creer();
        QVERIFY(q.Initialiser(t.dossier.filePath("autre.ini")));
        QCOMPARE(q.SectionConfig(), QStringLiteral("navette 1"));
        QCOMPARE(q.FrmComm->msNumPort, QStringLiteral("TCP1:"));
    }

    void lectureDesCles()
    {
        Station s;
        const QByteArray contenu = "; poste de la station de pompage\n"
                                   "[port 1]\n"
                                   "NumPort = 3\n"
                                   "ParametresPort=9600, e, 7, 2\n"
                                   "PosteAppellant=-1\n"
                                   "NumTelAppel=0612345678\n"
                                   "Silencieux=Oui\n"
                                   "SvrHoraire=2\n"
                                   "PARAMÈTRE VITESSE=&N8\n"
                                   "LEFT=5000\n"
                                   "TOP=120.6\n"
                                   "ligne sans signification\n";
        ecrireFichier(s.cheminIni(), contenu);
        CInterlocuteur &p = s.creer();
        QVERIFY(p.Initialiser());
        QCOMPARE(p.FrmComm->msNumPort, QStringLiteral("COM3:"));
        QCOMPARE(p.FrmComm->msSettings, QStringLiteral("9600, e, 7, 2"));
        QVERIFY(p.PosteAppellant);
        QCOMPARE(p.NumTelAppel, QStringLiteral("0612345678"));
        QVERIFY(!p.Silencieux);
        QVERIFY(p.SvrHoraire);
        QCOMPARE(p.VitesseConx, QStringLiteral("&N8"));
        QCOMPARE(p.ScriptInit, QStringLiteral("ATZ0"));
        QCOMPARE(s.proprietaire.position, QPoint(0, 121)); // 5000 is beyond the screen
        const QByteArray apres = lireFichier(s.cheminIni());
        QVERIFY(apres.contains("NumPort=COM3:\n"));
        QVERIFY(apres.contains("Silencieux=0\n"));
        QVERIFY(apres.contains("SvrHoraire=2\n"));
        QVERIFY(!apres.contains("ScriptInit"));
        QVERIFY(apres.startsWith("; poste de la station de pompage\n[port 1]\n"));
        QVERIFY(apres.endsWith("ligne sans signification\n"));
    }

    void valeursTellesQuellesEtModificationsDAutrui()
    {
        // A value is all that follows "=", blanks included, both ways.
        Station s;
        ecrireFichier(s.cheminIni(), "[Port 1]\nNumPort=COM1:\nParametresPort=9600, e , 7, 1 \nParamètre vitesse= &N8\n");
        CInterlocuteur &p = s.creer();
        QVERIFY(p.Initialiser());
        QCOMPARE(p.FrmComm->msSettings, QStringLiteral("9600, e , 7, 1 "));
        QCOMPARE(p.VitesseConx, QStringLiteral(" &N8"));
        p.NumTelAppel = " 0102 ";
        p.Configurer();
        QVERIFY(lireFichier(s.cheminIni()).contains("NumTelAppel= 0102 \n"));

        // Someone edits the file after it was read, even keeping its size and date: the next
        // read sees it, the next save keeps it.
        s.ini.setSection("Port 1");
        s.ini.setCle("NumPort");
        QVERIFY(s.ini.Lire());
        const QDateTime date = QFileInfo(s.cheminIni()).lastModified();
        QByteArray texte = lireFichier(s.cheminIni());
        ecrireFichier(s.cheminIni(), texte.replace("NumPort=COM1:", "NumPort=COM2:"));
        QFile f(s.cheminIni());
        QVERIFY(f.open(QIODevice::ReadWrite) && f.setFileTime(date, QFileDevice::FileModificationTime));
        f.close();
        QVERIFY(s.ini.Lire());
        QCOMPARE(s.ini.Valeur(), QStringLiteral("COM2:"));
        s.ini.setCle("Autre");
        s.ini.setValeur("1");
        QVERIFY(s.ini.Enregistrer());
        QVERIFY(lireFichier(s.cheminIni()).contains("NumPort=COM2:\n"));
    }

    void nomDePortInchangeNeRecritRien()
    {
        Station s;
        const QByteArray contenu = "[Port 1]\r\nNumPort=COM1:\r\nSilencieux=-1\r\nSvrHoraire=0\r\nScriptInit=ATZ0|AT&F0\r\n";
        ecrireFichier(s.cheminIni(), contenu);
        CInterlocuteur &p = s.creer();
        QVERIFY(p.Initialiser());
        QVERIFY(p.Silencieux);
        QCOMPARE(p.ScriptInit, QStringLiteral("ATZ0|AT&F0"));
        QCOMPARE(lireFichier(s.cheminIni()), contenu);
    }

    void portVideOuvreLeDialogue()
    {
        Station s;
        ecrireFichier(s.cheminIni(), "[Port 1]\nNumPort=\n");
        s.dialogue.action = [](FComm &comm, ParametresStation &poste) {
            comm.msNumPort = "COM2:";
            poste.NumTelAppel = "0102030405";
            poste.ScriptInit = "ATZ0";
        };
        CInterlocuteur &p = s.creer();
        QVERIFY(p.Initialiser());
        QCOMPARE(s.dialogue.affichages, 1);
        QCOMPARE(p.FrmComm->msNumPort, QStringLiteral("COM2:"));
        QCOMPARE(p.NumTelAppel, QStringLiteral("0102030405"));
        QCOMPARE(s.proprietaire.chargementsInstance, 1);
        QVERIFY(lireFichier(s.cheminIni()).contains("NumPort=COM2:\nParametresPort=38400, n, 8, 1\nPosteAppellant=0\n"));
    }

    void fichiersDeConfigurationHostiles_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QString>("portAttendu");
        QByteArray binaire;
        for (int i = 0; i < 4096; ++i)
            binaire.append(char((i * 7919) % 256));
        QTest::newRow("binaire") << binaire << QString();
        QTest::newRow("ligne de 100 Kio") << "[Port 1]\nNumTelAppel=" + QByteArray(100 * 1024, '9') + "\nNumPort=COM4:\n"
                                          << "COM4:";
        QTest::newRow("doublons") << QByteArray("[Port 1]\nNumPort=COM5:\nNumPort=COM6:\n[PORT 1]\nNumPort=COM7:\n") << "COM5:";
        QTest::newRow("crochet dans le nom") << QByteArray("[Port 1]]\nNumPort=COM8:\n[Port 1]\nNumPort=COM9:\n") << "COM9:";
        QTest::newRow("égal dans la valeur") << QByteArray("[Port 1]\nNumPort=COM1:\nParametresPort=a=b\n") << "COM1:";
        QTest::newRow("windows-1252") << QByteArray("[Port 1]\nNumPort=COM2:\nParam\xE8tre vitesse=&N8\n") << "COM2:";
    }

    void fichiersDeConfigurationHostiles()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(QString, portAttendu);
        Station s;
        ecrireFichier(s.cheminIni(), contenu);
        CInterlocuteur &p = s.creer();
        QCOMPARE(p.Initialiser(), !portAttendu.isEmpty());
        if (portAttendu.isEmpty()) {
            QCOMPARE(lireFichier(s.cheminIni()), contenu);
            return;
        }
        QCOMPARE(p.FrmComm->msNumPort, portAttendu);
        // Writing back keeps every line it does not own.
        p.Configurer();
        const QByteArray apres = lireFichier(s.cheminIni());
        for (const QByteArray &ligne : contenu.split('\n'))
            if (!ligne.startsWith("NumPort") && !ligne.startsWith("ParametresPort") && !ligne.startsWith("NumTelAppel")
                && !ligne.startsWith("Param"))
                QVERIFY2(apres.contains(ligne), ligne.left(60).constData());
        if (QTest::currentDataTag() == QLatin1String("égal dans la valeur"))
            QVERIFY(apres.contains("ParametresPort=a=b\n"));
        if (QTest::currentDataTag() == QLatin1String("windows-1252"))
            QCOMPARE(p.VitesseConx, QStringLiteral("&N8"));
    }

    void ecritureImpossible()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        ecrireFichier(s.dossier.filePath("fichier"), "x");
        s.ini.setFichier(s.dossier.filePath("fichier/navette.INI")); // a folder that cannot exist
        p.CheminFichiersRecus = s.dossier.filePath("fichier/reçus");
        p.Configurer();
        QCOMPARE(s.informations.size(), 1);
        QVERIFY(s.informations[0].startsWith(QStringLiteral("Écriture du fichier")));
        QCOMPARE(lireFichier(s.dossier.filePath("fichier")), QByteArray("x"));
    }

    void dossiersCreesALaLecture()
    {
        Station s;
        const QString recus = s.dossier.filePath("recus"), aEnvoyer = s.dossier.filePath("a/envoyer");
        ecrireFichier(s.cheminIni(), ("[Port 1]\nNumPort=COM1:\nCheminFichiersRecus=" + recus + "\nCheminFichiersAEnvoyer=" + aEnvoyer + "\n").toUtf8());
        CInterlocuteur &p = s.creer();
        p.Initialiser();
        QVERIFY(QFileInfo(recus).isDir());
        QVERIFY(!QFileInfo(aEnvoyer).exists()); // one level only: its parent is missing
        QCOMPARE(p.CheminFichiersAEnvoyer, aEnvoyer);
    }

    void armementsEtEtatTimeOut_data()
    {
        QTest::addColumn<bool>("appelant");
        QTest::addColumn<int>("genre");
        QTest::addColumn<bool>("relance");
        QTest::addColumn<QString>("etat");
        QTest::newRow("surveillance appelant") << true << 3 << false << "Surveillance|0|30";
        QTest::newRow("surveillance appelé") << false << 3 << false << "Surveillance|0|20";
        QTest::newRow("surveillance relance") << false << 3 << true << "Surveillance|5|20";
        QTest::newRow("réinitialisation relance") << true << 5 << true << "Réinitialisation|5|30";
        QTest::newRow("réinitialisation") << true << 5 << false << "Réinitialisation|0|30";
        QTest::newRow("appel") << true << 1 << false << "Appel|0|30";
        QTest::newRow("réception") << true << 4 << false << "Réception|7|5";
        QTest::newRow("inconnu") << true << 7 << false << "?|7|0";
    }

    void armementsEtEtatTimeOut()
    {
        QFETCH(bool, appelant);
        QFETCH(int, genre);
        QFETCH(bool, relance);
        QFETCH(QString, etat);
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.PosteAppellant = appelant;
        p.AttacherMinuterie();
        p.TimeOut()->setTag("7");
        armer(p, genre, relance);
        QCOMPARE(s.etats.last(), etat);
        QCOMPARE(int(p.TypeTimeOut()), genre);
        p.ArreterTempos();
        QVERIFY(!p.TimeOut()->Enabled());
        QCOMPARE(s.etats.last().section('|', 0, 0), QStringLiteral("Non définie"));
        QCOMPARE(s.etats.last().section('|', 2), QStringLiteral("0"));
    }

    void receptionGardeLeCompteurEtReArmerRedemarre()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        p.armer(GenreSupervision::Surveillance, true);
        p.armer(GenreSupervision::Reception);
        QCOMPARE(s.etats.last(), QStringLiteral("Réception|5|5"));
        s.banc.plateforme.avancer(3000);
        const quint32 deuxieme = s.banc.plateforme.tickMs();
        p.armer(GenreSupervision::Reception);
        quint32 instantTic = 0;
        p.Information.connecter([&](const QString &) {
            if (!instantTic)
                instantTic = s.banc.plateforme.tickMs();
        });
        s.banc.plateforme.avancer(5500);
        QCOMPARE(instantTic - deuxieme, 5000u); // a full interval after the second arming

        p.TimeOut()->setInterval(999);
        p.TimeOut()->setEnabled(true);
        p.mSupervision.setGenre(GenreSupervision::Reinitialisation);
        QCOMPARE(s.etats.last().section('|', 2), QStringLiteral("0"));
    }

    void envoyerCommandeRendLEtatDeLaMinuterie()
    {
        Station s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        bool activePendant = true;
        s.banc.surReceptionPair = [&](const QByteArray &) { activePendant = p.TimeOut()->Enabled(); };
        p.TimeOut()->setEnabled(false);
        QVERIFY(p.EnvoyerCommande("MESSAGE=bonjour", "", 3000));
        QVERIFY(!p.TimeOut()->Enabled());
        p.armer(GenreSupervision::Surveillance);
        QVERIFY(!p.EnvoyerCommande("YAQUELQUUN?", "OUI", 3000)); // nobody answers
        QVERIFY(p.TimeOut()->Enabled());
        QVERIFY(!activePendant);
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
        s.banc.plateforme.executerTout();
        QVERIFY(s.banc.recuParLePair.isEmpty());
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
