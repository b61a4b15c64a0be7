#include "link/shared/MGlobal.h"
#include "platform/Dezipper.h"
#include "platform/Minuterie.h"
#include "platform/Zipper.h"
#include "tests/support/BancDeuxPostes.h"
#include "tests/support/BancLigne.h"
#include "tests/support/PosteSimule.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <random>

#include <csignal>
#include <sys/resource.h>

namespace {

// A crafted archive from tests/donnees.
QByteArray donnees(const QString &nom)
{
    return lireFichier(QStringLiteral(NAVETTE_DONNEES "/") + nom);
}
QByteArray tousLesOctets(int repetitions)
{
    QByteArray o;
    for (int r = 0; r < repetitions; ++r)
        for (int i = 0; i < 256; ++i)
            o.append(char(i));
    return o;
}
}

// A sending station whose other end is a scripted receiver answering every command.
struct Emetteur : BancLigne, PosteSimule
{
    Emetteur() : PosteSimule(BancLigne::env(), BancLigne::plateforme)
    {
        creerConfiguree();
        poste->AttacherMinuterie();
        repondeur = [this](const QByteArray &t) -> QByteArray {
            if (silence > 0) {
                --silence;
                return {};
            }
            if (t.startsWith("FICHIER") || t.startsWith("RECEPFICHIER"))
                return "OKFICHIER";
            if (t.startsWith("RECEPGROSFIC"))
                return t.mid(12, 3) == t.mid(15, 3) ? "OKFICHIER" : "OKPARTFIC";
            return {};
        };
    }
    int silence = 0; // commands left unanswered from now on
};

class TstTransfert : public QObject
{
    Q_OBJECT

private slots:
    void seuilDeCompression()
    {
        Emetteur e;
        const QString petit = e.chemin("envoi/petit.txt"), grand = e.chemin("envoi/grand.txt");
        ecrireFichier(petit, QByteArray(300, 'p'));
        ecrireFichier(grand, QByteArray(301, 'g'));
        QVERIFY(e.poste->EnvoyerFichier(petit));
        QCOMPARE(e.tramesRecues.size(), 2);
        QCOMPARE(e.tramesRecues[0], QByteArray("FICHIER"));
        QCOMPARE(e.tramesRecues[1], "RECEPFICHIER" + QByteArray(1, char(9)) + "petit.txt" + QByteArray(300, 'p'));
        QVERIFY(e.poste->EnvoyerFichier(grand));
        const QByteArray recu = e.tramesRecues.last();
        QVERIFY(recu.startsWith("RECEPFICHIER" + QByteArray(1, char(15)) + "grand.txt.ZQZIP" + "PK\x03\x04"));
        QVERIFY(fichiersDe(e.chemin("Travail/Port 1")).isEmpty());
        QVERIFY(QFile::exists(grand)); // the scanner deletes it, not the sender

        // The archive goes also when the send fails.
        e.silence = 10;
        QVERIFY(!e.poste->EnvoyerFichier(grand));
        QVERIFY(fichiersDe(e.chemin("Travail/Port 1")).isEmpty());
        QVERIFY(e.informations.contains("Le poste distant n'est pas prêt"));
        QVERIFY(e.poste->TimeOut()->Enabled()); // supervision re-armed
    }

    void decoupageEnParties_data()
    {
        QTest::addColumn<int>("longueurTexte");
        QTest::addColumn<QList<int>>("tailles");
        QTest::newRow("1023: entier") << 1023 << QList<int>{};
        QTest::newRow("1024: deux parties, la seconde vide") << 1024 << QList<int>{1024, 0};
        QTest::newRow("2500: trois parties") << 2500 << QList<int>{1024, 1024, 452};
    }

    void decoupageEnParties()
    {
        QFETCH(int, longueurTexte);
        QFETCH(QList<int>, tailles);
        // Random contents are stored in the archive as they are: its size is the contents'
        // plus a constant, measured once, so the text length can be chosen exactly.
        Emetteur e;
        const QString fichier = e.chemin("envoi/x.bin");
        ecrireFichier(fichier, aleatoire(2000));
        Zipper z;
        z.setNomArchive(e.chemin("mesure.ZQZIP"));
        z.Fichiers() << fichier;
        QString raison;
        z.Compresser(&raison);
        const qint64 surcout = QFileInfo(e.chemin("mesure.ZQZIP")).size() - 2000;
        ecrireFichier(fichier, aleatoire(longueurTexte - 12 - 1 - 11 - surcout));
        QVERIFY(e.poste->EnvoyerFichier(fichier));
        const QList<QByteArray> &trames = e.tramesRecues;
        QCOMPARE(trames[0], QByteArray("FICHIER"));
        if (tailles.isEmpty()) {
            QCOMPARE(trames.size(), 2);
            QVERIFY(trames[1].startsWith("RECEPFICHIER\x0bx.bin.ZQZIP"));
            QCOMPARE(trames[1].size(), longueurTexte);
            return;
        }
        QCOMPARE(trames.size(), 1 + tailles.size());
        QByteArray reassemble;
        for (int i = 0; i < tailles.size(); ++i) {
            const QByteArray &t = trames[1 + i];
            const QByteArray entete = "RECEPGROSFIC" + QByteArray::number(i + 1).rightJustified(3, '0')
                + QByteArray::number(tailles.size()).rightJustified(3, '0');
            QVERIFY(t.startsWith(entete));
            const qsizetype tab = t.indexOf('\t', 18);
            const QByteArray partie = t.mid(tab + 1);
            QCOMPARE(partie.size(), tailles[i]);
            QCOMPARE(t.mid(18, tab - 18), MGlobal::CleDonnees(partie));
            reassemble += partie;
        }
        QCOMPARE(reassemble.size(), longueurTexte);
        QVERIFY(reassemble.startsWith("RECEPFICHIER"));
        QCOMPARE(e.poste->PartieGrosFichier, QStringLiteral("partie %1/%1 - ").arg(tailles.size()));
    }

    void reprisesDEnvoi_data()
    {
        // The answers given to the data frames, in order, then "OKFICHIER"/"OKPARTFIC":
        // O as expected, R "ERREURPARTFIC", - none. The frames that went: F "FICHIER",
        // W the whole file, a digit the part.
        QTest::addColumn<int>("taille");
        QTest::addColumn<QByteArray>("reponses");
        QTest::addColumn<QByteArray>("trames");
        QTest::addColumn<bool>("livre");
        QTest::newRow("partie refusée trois fois") << 2600 << QByteArray("ORRR") << QByteArray("F122223") << true;
        QTest::newRow("partie refusée sans fin") << 2600 << "O" + QByteArray(9, 'R') << "F1" + QByteArray(9, '2') << false;
        QTest::newRow("réponse perdue : tout repart") << 2600 << QByteArray("O-") << QByteArray("F12F123") << true;
        QTest::newRow("dernière réponse perdue") << 2600 << QByteArray("OO-") << QByteArray("F123F123") << true;
        QTest::newRow("réponses toujours perdues") << 2600 << QByteArray("O-O-O-O-") << QByteArray("F12F12F12F12") << false;
        QTest::newRow("fichier entier, réponse perdue") << 500 << QByteArray("-") << QByteArray("FWFW") << true;
    }

    void reprisesDEnvoi()
    {
        QFETCH(int, taille);
        QFETCH(QByteArray, reponses);
        QFETCH(QByteArray, trames);
        QFETCH(bool, livre);
        Emetteur e;
        const QString fichier = e.chemin("envoi/gros.bin");
        ecrireFichier(fichier, aleatoire(taille));
        QByteArray vues;
        const int perdues = int(reponses.count('-'));
        e.repondeur = [&](const QByteArray &t) -> QByteArray {
            if (t.startsWith("FICHIER")) {
                vues += 'F';
                return "OKFICHIER";
            }
            const bool entier = t.startsWith("RECEPFICHIER");
            vues += entier ? 'W' : t[14];
            const char r = reponses.isEmpty() ? 'O' : reponses.front();
            reponses.remove(0, 1);
            if (r == '-')
                return {};
            if (r == 'R')
                return "ERREURPARTFIC";
            return entier || t.mid(12, 3) == t.mid(15, 3) ? "OKFICHIER" : "OKPARTFIC";
        };
        QCOMPARE(e.poste->EnvoyerFichier(fichier), livre);
        QCOMPARE(vues, trames);
        QCOMPARE(e.informations.filter("Nouvelle tentative").size(), trames.count('2') - trames.count('1'));
        QCOMPARE(e.informations.filter("repart du début").size(), trames.count('F') - 1);
        QVERIFY(QFile::exists(fichier));
        QVERIFY(fichiersDe(e.chemin("Travail/Port 1")).isEmpty());
        // Refusals are answers: only the lost answers count as line errors.
        QCOMPARE(e.informations.filter("Temps d'attente").size(), perdues);
    }

    void casParticuliersDEnvoi()
    {
        Emetteur e;
        QVERIFY(e.poste->EnvoyerFichier(e.chemin("envoi/absent.txt")));
        QCOMPARE(e.informations.last(), e.chemin("envoi/absent.txt") + " a disparu.");
        QVERIFY(e.poste->EnvoyerFichier(QString()));
        QCOMPARE(e.informations.last(), QStringLiteral(" a disparu."));

        // A small file named like an archive is sent as it is; only the scanner deletes it,
        // and a failed send keeps it.
        const QString faux = e.chemin("envoi/petit.ZQZIP");
        ecrireFichier(faux, "abc");
        QVERIFY(e.poste->EnvoyerFichier(faux));
        QVERIFY(e.tramesRecues.last().startsWith("RECEPFICHIER\x0bpetit.ZQZIPabc"));
        e.silence = 10;
        QVERIFY(!e.poste->EnvoyerFichier(faux));
        QCOMPARE(lireFichier(faux), QByteArray("abc"));
        e.silence = 0;

        // The archive is made out of the user's folder: a user's file of that name stays as
        // it is, and nothing new appears beside it, even during the send.
        const QString rapport = e.chemin("envoi/rapport.txt");
        ecrireFichier(rapport, QByteArray(2000, 'r'));
        ecrireFichier(rapport + ".ZQZIP", "à moi");
        QStringList pendant;
        e.surReceptionPair = [&](const QByteArray &) { pendant = fichiersDe(e.chemin("envoi")); };
        QVERIFY(e.poste->EnvoyerFichier(rapport));
        e.surReceptionPair = nullptr;
        QVERIFY(e.tramesRecues.last().startsWith("RECEPFICHIER\x11rapport.txt.ZQZIPPK"));
        QCOMPARE(pendant, QStringList({"petit.ZQZIP", "rapport.txt", "rapport.txt.ZQZIP"}));
        QCOMPARE(lireFichier(rapport + ".ZQZIP"), QByteArray("à moi"));
        QCOMPARE(fichiersDe(e.chemin("Travail/Port 1")), QStringList());

        // The archive cannot be made: the file goes under its own name.
        const QString fichier = e.chemin("envoi/donnees.csv");
        ecrireFichier(fichier, QByteArray(800, 'd'));
        QDir().mkpath(e.chemin("Travail/Port 1/donnees.csv.ZQZIP"));
        QVERIFY(e.poste->EnvoyerFichier(fichier));
        QCOMPARE(e.boites.boites.last().titre, QStringLiteral("Compression"));
        QVERIFY(e.tramesRecues.last().startsWith("RECEPFICHIER\x0b" "donnees.csv" + QByteArray(800, 'd')));

        // A name too long for its archive's: sent uncompressed, never set aside.
        const QString longNom = e.chemin("envoi/" + QString(250, 'n'));
        ecrireFichier(longNom, QByteArray(400, 'l'));
        QVERIFY(e.poste->EnvoyerFichier(longNom));
        QVERIFY(e.poste->FichierMisDeCote().isEmpty());
        QVERIFY(e.tramesRecues.last().startsWith("RECEPFICHIER\xfa" + QByteArray(250, 'n') + QByteArray(400, 'l')));
    }

    void archiveSupprimeeSiLaLiaisonDisparait()
    {
        // The link object is torn down in the middle of a send: its archive goes with it, and
        // a stale one left by a crash is cleaned when the station starts.
        auto e = std::make_unique<Emetteur>();
        const QString fichier = e->chemin("envoi/gros.csv");
        ecrireFichier(fichier, QByteArray(50'000, 'g') + aleatoire(5000));
        e->repondeur = [&](const QByteArray &t) -> QByteArray {
            if (t.startsWith("RECEPGROSFIC002"))
                e->plateforme.planifier(0, [&] { e->poste.reset(); });
            return t.startsWith("FICHIER") ? "OKFICHIER" : "OKPARTFIC";
        };
        QVERIFY(!e->poste->EnvoyerFichier(fichier));
        QVERIFY(!e->poste);
        QCOMPARE(fichiersDe(e->chemin("envoi")), QStringList({"gros.csv"}));
        QCOMPARE(fichiersDe(e->chemin("Travail/Port 1")), QStringList());
        ecrireFichier(e->chemin("Travail/Port 1/vieux.csv.ZQZIP"), "reste");
        e->creerConfiguree();
        QCOMPARE(fichiersDe(e->chemin("Travail/Port 1")), QStringList());
    }

    void fichierTropGrosMisDeCote()
    {
        Emetteur e;
        const QString fichier = e.chemin("envoi/enorme.bin");
        ecrireFichier(fichier, aleatoire(999 * 1024));
        QVERIFY(e.poste->EnvoyerFichier(fichier));
        QVERIFY(!QFile::exists(fichier));
        QCOMPARE(e.poste->FichierMisDeCote(), e.chemin("envoi/Refusés/enorme.bin"));
        QVERIFY(QFile::exists(e.chemin("envoi/Refusés/enorme.bin")));
        QVERIFY(e.informations.last().contains("mis de côté"));
        QVERIFY(e.tramesRecues.isEmpty()); // nothing announced
    }

    void allerRetourDeTousLesOctets_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::newRow("entier, sans compression") << tousLesOctets(1).left(250);
        QTest::newRow("entier, compressé") << tousLesOctets(2);
        QTest::newRow("en parties, compressé") << tousLesOctets(40);
        QTest::newRow("aléatoire, en parties") << aleatoire(20000);
    }

    void allerRetourDeTousLesOctets()
    {
        QFETCH(QByteArray, contenu);
        BancDeuxPostes banc;
        banc.demarrer();
        const QString fichier = banc.a.chemin("envoi/Relevé été.dat");
        ecrireFichier(fichier, contenu);
        int progressions = 0;
        banc.b.poste->ProgressRecept.connecter([&](qint32 recu, qint32 attendu) { progressions += recu < attendu; });
        QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
        banc.plateforme.avancer(10);
        QVERIFY(progressions > 0); // long messages arrive in pieces, and say so
        QCOMPARE(banc.b.fichiersRecus, QStringList({banc.b.chemin("recus/RELEVÉ ÉTÉ.DAT")}));
        QCOMPARE(lireFichier(banc.b.fichiersRecus[0]), contenu);
        QCOMPARE(fichiersDe(banc.b.chemin("recus/UNZIP")), QStringList());
        QVERIFY(banc.b.informations.contains("Fichier réceptionné"));
        QCOMPARE(banc.b.proprietaire.cocheSynchro, 1);
    }

    void nomsHorodatesPourUnDeuxiemeFichier()
    {
        BancDeuxPostes banc;
        banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 9, 4), QTime(15, 30, 12)), nullptr);
        banc.demarrer();
        for (const QByteArray &contenu : {QByteArray("premier"), QByteArray("second"), QByteArray("troisième"), QByteArray(5000, 'z'),
                                          QByteArray(6000, 'y')}) {
            const QString fichier = banc.a.chemin(contenu.size() > 300 ? "envoi/data.csv" : "envoi/report.txt");
            ecrireFichier(fichier, contenu);
            QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
        }
        const QStringList recus = fichiersDe(banc.b.chemin("recus"));
        QCOMPARE(recus.size(), 5);
        QVERIFY(recus.contains("REPORT.TXT"));
        QVERIFY(recus.contains("DATA.CSV"));
        QCOMPARE(recus.filter(QRegularExpression("^040909 1530\\d\\d REPORT\\.TXT$")).size(), 2);
        QCOMPARE(recus.filter(QRegularExpression("^040909 1530\\d\\d DATA\\.CSV$")).size(), 1);
        // Three of one name within a second: each keeps its own contents.
        QSet<QByteArray> contenus;
        for (const QString &nom : recus.filter("REPORT.TXT"))
            contenus << lireFichier(banc.b.chemin("recus/" + nom));
        QCOMPARE(contenus, QSet<QByteArray>({"premier", "second", "troisième"}));
    }

    void partiesFaussesSauteesEtDoublees()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        const QByteArray T = "RECEPFICHIER\x05" "A.BIN" + aleatoire(2500);
        const auto partie = [&](int i, QByteArray cle = {}) {
            const QByteArray contenu = T.mid((i - 1) * 1024, 1024);
            if (cle.isEmpty())
                cle = MGlobal::CleDonnees(contenu);
            return "RECEPGROSFIC" + QByteArray::number(i).rightJustified(3, '0') + "003" + cle + '\t' + contenu;
        };
        QByteArray flux;
        banc.ligne.a().brancher(&flux, [&](const QByteArray &o) { flux += o; });
        const auto recevoir = [&](const QByteArray &texte) {
            b.FrmComm->PortEvent_Lecture(BancLigne::trame(texte));
            banc.plateforme.avancer(50);
        };
        recevoir(partie(1, "12345"));                   // wrong key
        recevoir(partie(1));
        QCOMPARE(b.PartieGrosFichier, QStringLiteral("partie 2/3 - "));
        recevoir(partie(3));                            // part 2 is missing
        QVERIFY(banc.b.fichiersRecus.isEmpty());
        recevoir(partie(1));                            // part 1 again: starts afresh
        recevoir(partie(2));
        recevoir(partie(3));
        recevoir(partie(3));                            // its answer was lost: sent again
        recevoir("RECEPGROSFIC0x1002\tabc");            // unreadable header
        recevoir("RECEPGROSFIC001002123");              // no tab
        QStringList reponses;
        while (flux.size() >= 4) {
            const qint32 longueur = FComm::decoderEntete(flux.mid(1, 3));
            reponses << QString::fromLatin1(flux.mid(4, longueur));
            flux.remove(0, 4 + longueur);
        }
        QCOMPARE(reponses, QStringList({"ERREURPARTFIC", "OKPARTFIC", "ERREURPARTFIC", "OKPARTFIC", "OKPARTFIC", "OKFICHIER",
                                        "OKFICHIER", "ERREURPARTFIC", "ERREURPARTFIC"}));
        QCOMPARE(banc.b.fichiersRecus.size(), 1);
        QCOMPARE(lireFichier(banc.b.fichiersRecus[0]), T.mid(18));
        QCOMPARE(banc.b.informations.filter("Erreur de réception").size(), 4);

        // After the doubled last part the link is supervised again, without a reception
        // time-out giving up on data that all came.
        recevoir(partie(1));
        recevoir(partie(2));
        recevoir(partie(3));
        recevoir(partie(3));
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|5|20"));
        banc.plateforme.avancer(30'000);
        QVERIFY(banc.b.informations.filter("Données incomplètes").isEmpty());
    }

    void rienNEstPerduQuandLeDisqueRefuse_data()
    {
        QTest::addColumn<bool>("disquePlein");
        QTest::addColumn<int>("taille");
        QTest::newRow("dossier de réception impossible, fichier entier") << false << 200;
        QTest::newRow("dossier de réception impossible, en parties") << false << 30'000;
        QTest::newRow("disque plein") << true << 60'000;
    }

    void rienNEstPerduQuandLeDisqueRefuse()
    {
        // The file is acknowledged only once stored: the sender keeps it otherwise.
        QFETCH(bool, disquePlein);
        QFETCH(int, taille);
        BancDeuxPostes banc;
        banc.demarrer();
        const QByteArray contenu = aleatoire(taille);
        const QString fichier = banc.a.chemin("envoi/precieux.bin");
        ecrireFichier(fichier, contenu);
        rlimit avant{};
        getrlimit(RLIMIT_FSIZE, &avant);
        if (disquePlein) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limite = avant;
            limite.rlim_cur = 20'000; // no file of this process may grow past it
            setrlimit(RLIMIT_FSIZE, &limite);
        } else {
            ecrireFichier(banc.b.chemin("pas-un-dossier"), "x");
            banc.b.poste->CheminFichiersRecus = banc.b.chemin("pas-un-dossier/recus");
        }
        const bool livre = banc.a.poste->EnvoyerFichier(fichier);
        setrlimit(RLIMIT_FSIZE, &avant);
        QVERIFY(!livre);
        QCOMPARE(lireFichier(fichier), contenu);
        QVERIFY(banc.b.fichiersRecus.isEmpty());
        QVERIFY(!banc.b.informations.filter("n'est pas acquitté").isEmpty());
    }

    void nomsHostiles_data()
    {
        QTest::addColumn<QByteArray>("nom");
        QTest::addColumn<QString>("attendu");
        QTest::newRow("remontée") << QByteArray("../../etc/passwd") << "PASSWD";
        QTest::newRow("barres inverses") << QByteArray("..\\..\\x.txt") << "X.TXT";
        QTest::newRow("lecteur") << QByteArray("C:evil.bat") << "EVIL.BAT";
        QTest::newRow("point point") << QByteArray("..") << "FICHIER SANS NOM";
        QTest::newRow("contrôles : un octet de longueur abîmé") << QByteArray("a\x01\nb\x7f.txt") << "";
        QTest::newRow("absolu") << QByteArray("/tmp/navette-intrus") << "NAVETTE-INTRUS";
    }

    void nomsHostiles()
    {
        QFETCH(QByteArray, nom);
        QFETCH(QString, attendu);
        BancDeuxPostes banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        b.FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + "contenu"));
        banc.plateforme.avancer(50);
        QCOMPARE(fichiersDe(banc.b.chemin("recus")), attendu.isEmpty() ? QStringList() : QStringList({attendu}));
        QCOMPARE(banc.a.trames.contains("OKFICHIER"), !attendu.isEmpty());
        QCOMPARE(fichiersDe(banc.b.dossier.path()), QStringList({"navette.INI"}));
        QVERIFY(!QFile::exists("/tmp/navette-intrus"));
    }

    void archiveHostileOuIllisible()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        // An archive whose entry points elsewhere: the file takes the archive's name.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER\x0dRAPPORT.ZQZIP" + donnees("evade.zip")));
        banc.plateforme.avancer(50);
        QVERIFY(!QFile::exists("/tmp/navette-evade"));
        QCOMPARE(fichiersDe(banc.b.chemin("recus")), QStringList({"RAPPORT"}));
        QCOMPARE(lireFichier(banc.b.chemin("recus/RAPPORT")), QByteArray("x"));
        // Not an archive at all, twice: refused each time, and each copy kept aside whole.
        for (const QByteArray &faux : {QByteArray("pas un zip"), QByteArray("court")}) {
            b.FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER\x0a" "FAUX.ZQZIP" + faux));
            banc.plateforme.avancer(1100);
        }
        QList<QByteArray> copies;
        for (const QString &chemin : gardees(banc.b))
            copies << lireFichier(chemin);
        std::sort(copies.begin(), copies.end());
        QCOMPARE(copies, QList<QByteArray>({"court", "pas un zip"}));
        QCOMPARE(banc.a.trames.count("OKFICHIER"), 1);
        QCOMPARE(fichiersDe(banc.b.chemin("recus/UNZIP")), QStringList());
    }

    // What an archive that fails its checks leaves: no answer, no box, nothing that looks
    // delivered, one information line, and the copy kept aside.
    static QStringList gardees(PosteSimule &p)
    {
        QStringList chemins;
        for (const QString &section : QDir(p.chemin("Travail")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            for (const QString &nom : fichiersDe(p.chemin("Travail/" + section + "/Abîmés")))
                chemins << p.chemin("Travail/" + section + "/Abîmés/" + nom);
        return chemins;
    }

    static void verifierRefusee(BancDeuxPostes &banc, const QByteArray &archive, const QString &raison)
    {
        QVERIFY(!banc.a.trames.contains("OKFICHIER"));
        QVERIFY(banc.boites.boites.isEmpty());
        QVERIFY(!QFile::exists(banc.b.chemin("recus/DATA.CSV")));
        QCOMPARE(fichiersDe(banc.b.chemin("recus/UNZIP")), QStringList());
        const QStringList lignes = banc.b.informations.filter("n'est pas acquittée");
        QCOMPARE(lignes.size(), 1);
        QVERIFY2(lignes[0].contains(raison), qPrintable(lignes[0]));
        QCOMPARE(gardees(banc.b).size(), 1);
        QCOMPARE(lireFichier(gardees(banc.b)[0]), archive);
    }

    void unOctetAbimeNestJamaisLivreFaux()
    {
        // One byte altered anywhere in a small archive: the file is refused, or what is
        // delivered is still the file that was sent.
        BancDeuxPostes banc;
        banc.demarrer();
        QByteArray contenu;
        for (int i = 0; contenu.size() < 1023; ++i)
            contenu += "mesure;" + QByteArray::number(i * 7919 % 1000) + "\n";
        contenu.truncate(1023);
        const QString source = banc.a.chemin("note.txt");
        ecrireFichier(source, contenu);
        Zipper z;
        z.setNomArchive(source + ".ZQZIP");
        z.Fichiers() << source;
        QString raison;
        z.Compresser(&raison);
        const QByteArray archive = lireFichier(source + ".ZQZIP");
        int refusees = 0;
        for (qsizetype i = 0; i < archive.size(); ++i) {
            QByteArray abimee = archive;
            abimee[i] = char(abimee[i] ^ (1 << (i % 8)));
            const qsizetype acquittes = banc.a.trames.count("OKFICHIER");
            banc.b.poste->FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER\x0e" "NOTE.TXT.ZQZIP" + abimee));
            banc.plateforme.avancer(200);
            const bool acquitte = banc.a.trames.count("OKFICHIER") > acquittes;
            const QStringList livres = fichiersDe(banc.b.chemin("recus"));
            QVERIFY2(livres.contains("NOTE.TXT") == acquitte, qPrintable(QString::number(i) + " " + livres.join(",") + " " + banc.b.informations.last()));
            refusees += !acquitte;
            if (acquitte)
                QVERIFY2(lireFichier(banc.b.chemin("recus/NOTE.TXT")) == contenu, qPrintable(QString::number(i)));
            QFile::remove(banc.b.chemin("recus/NOTE.TXT"));
        }
        QVERIFY(refusees > archive.size() / 2);
        QVERIFY(gardees(banc.b).size() <= 10);
        QCOMPARE(fichiersDe(banc.b.chemin("recus/UNZIP")), QStringList());
    }

    // Each crafted archive's verdict is in tst_archives; here, what the station does with one.
    void archivesMenteusesEtArchiveHomonyme_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("raison");
        QTest::newRow("refusée en la lisant") << "ment-deflate.zip" << "plus que les 100 octets";
        QTest::newRow("refusée sans la lire") << "annonce-demesuree.zip" << "au plus sont acceptés";
    }

    void archivesMenteusesEtArchiveHomonyme()
    {
        QFETCH(QString, archive);
        QFETCH(QString, raison);
        BancDeuxPostes banc;
        banc.demarrer();
        const QByteArray menteuse = donnees(archive);
        banc.b.poste->FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER\x0e" "DATA.CSV.ZQZIP" + menteuse));
        banc.plateforme.avancer(1000);
        verifierRefusee(banc, menteuse, raison);

        // An archive whose one file carries the archive's own name delivers that file.
        banc.b.poste->FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER\x07X.ZQZIP" + donnees("homonyme.zip")));
        banc.plateforme.avancer(100);
        QCOMPARE(lireFichier(banc.b.chemin("recus/X")), QByteArray("contenu"));
    }

    void partiesTropLonguesEtReceptionAbandonnee()
    {
        BancDeuxPostes banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        const auto partie = [](int i, const QByteArray &contenu) {
            return "RECEPGROSFIC" + QByteArray::number(i).rightJustified(3, '0') + "003" + MGlobal::CleDonnees(contenu) + '\t' + contenu;
        };
        QStringList reponses;
        banc.a.poste->FrmComm->Reception.connecter([&](const QByteArray &t) { reponses << QString::fromLatin1(t); });
        b.FrmComm->PortEvent_Lecture(BancLigne::trame(partie(1, QByteArray(1025, 'x'))));
        banc.plateforme.avancer(100);
        QCOMPARE(reponses, QStringList({"ERREURPARTFIC"}));
        QCOMPARE(b.TailleReceptionEnCours(), 0);

        // Part 1 of 3 and then nothing: the reception is given up, and its memory with it.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame(partie(1, QByteArray(1024, 'y'))));
        banc.plateforme.avancer(100);
        QCOMPARE(b.TailleReceptionEnCours(), 1024);
        banc.plateforme.avancer(60'000);
        QVERIFY(banc.b.informations.contains("Données incomplètes. Arrêt de la réception"));
        QCOMPARE(b.TailleReceptionEnCours(), 0);

        // So does a lost line.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame(partie(1, QByteArray(1024, 'z'))));
        banc.plateforme.avancer(100);
        b.FrmComm->PortEvent_Lecture("\r\nNO CARRIER\r\n");
        QCOMPARE(b.TailleReceptionEnCours(), 0);
    }

    void cheminDErreur()
    {
        BancDeuxPostes banc;
        banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 9, 4), QTime(15, 30, 12)), nullptr);
        banc.demarrer();
        // A name length beyond the text: the step, and what arrived kept in an error file.
        banc.b.poste->FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPFICHIER\x40" "COURT"));
        banc.plateforme.avancer(50);
        QVERIFY(banc.b.fichiersRecus.isEmpty());
        QCOMPARE(banc.b.informations.filter("Etape : "), QStringList({"Etape : Récupération des infos"}));
        const QStringList recus = fichiersDe(banc.b.chemin("recus"));
        QCOMPARE(recus.size(), 1);
        QVERIFY(recus[0].startsWith("040909 1530") && recus[0].endsWith(".Err"));
        QCOMPARE(lireFichier(banc.b.chemin("recus/" + recus[0])), QByteArray("\x40" "COURT\n"));
    }
};

QTEST_GUILESS_MAIN(TstTransfert)
#include "tst_transfert.moc"
