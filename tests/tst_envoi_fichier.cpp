// Sending a file in virtual time, toward a scripted receiver: whole or in parts, compressed
// or not, resumed after a cut, set aside when it cannot go, and an archive a crash left
// cleaned at start.
#include "link/shared/MGlobal.h"
#include "platform/Zipper.h"
#include "tests/support/StationSurLigne.h"

#include <QDir>
#include <QTest>

class TstEnvoiFichier : public QObject
{
    Q_OBJECT

    // What stands beside a file to send.
    enum Autour {
        Rien,
        Muet,
        ArchiveDeLUtilisateur,
        ArchiveImpossible
    };

private slots:
    void envois_data()
    {
        // A file in the outgoing folder, what stands beside it, and what goes on the line:
        // how many frames, the last one's beginning, what is said, where the file ends up.
        QTest::addColumn<QString>("nom");
        QTest::addColumn<QByteArray>("contenu"); // null: no such file
        QTest::addColumn<int>("autour");
        QTest::addColumn<bool>("livre");
        QTest::addColumn<int>("trames");
        QTest::addColumn<QByteArray>("derniere");
        QTest::addColumn<QString>("dit");
        QTest::addColumn<QString>("ou"); // where the file is afterwards, under envoi/; "" gone
        const QByteArray p300(300, 'p'), g301(301, 'g');
        QTest::newRow("300 octets : tel quel")
            << "petit.txt" << p300 << int(Rien) << true << 2 << "RECEPFICHIER\x09petit.txt" + p300 << ""
            << "petit.txt";
        QTest::newRow("301 octets : compressé")
            << "grand.txt" << g301 << int(Rien) << true << 2 << QByteArray("RECEPFICHIER\x0fgrand.txt.ZQZIPPK\x03\x04") << ""
            << "grand.txt";
        QTest::newRow("envoi qui échoue : l'archive s'en va aussi")
            << "grand.txt" << g301 << int(Muet) << false << 1 << QByteArray("FICHIER") << "Le poste distant n'est pas prêt"
            << "grand.txt";
        QTest::newRow("disparu") << "absent.txt" << QByteArray() << int(Rien) << true << 0 << QByteArray()
                                 << "absent.txt a disparu."
                                 << "";
        QTest::newRow("petit fichier nommé comme une archive")
            << "petit.ZQZIP" << QByteArray("abc") << int(Rien) << true << 2 << QByteArray("RECEPFICHIER\x0bpetit.ZQZIPabc") << ""
            << "petit.ZQZIP";
        QTest::newRow("le même, envoi qui échoue")
            << "petit.ZQZIP" << QByteArray("abc") << int(Muet) << false << 1 << QByteArray("FICHIER") << ""
            << "petit.ZQZIP";
        QTest::newRow("une archive de l'utilisateur porte le nom de la sienne")
            << "rapport.txt" << QByteArray(2000, 'r') << int(ArchiveDeLUtilisateur) << true << 2
            << QByteArray("RECEPFICHIER\x11rapport.txt.ZQZIPPK") << ""
            << "rapport.txt";
        QTest::newRow("archive impossible : le fichier part sous son nom")
            << "donnees.csv" << QByteArray(800, 'd') << int(ArchiveImpossible) << true << 2
            << "RECEPFICHIER\x0b"
               "donnees.csv"
                   + QByteArray(800, 'd')
            << ""
            << "donnees.csv";
        QTest::newRow("nom trop long pour son archive : non compressé")
            << QString(250, 'n') << QByteArray(400, 'l') << int(Rien) << true << 2
            << "RECEPFICHIER\xfa" + QByteArray(250, 'n') + QByteArray(400, 'l') << "" << QString(250, 'n');
        QTest::newRow("999 parties : mis de côté sans rien annoncer")
            << "enorme.bin" << aleatoire(999 * 1024) << int(Rien) << true << 0 << QByteArray() << "mis de côté"
            << "Refusés/enorme.bin";
    }

    void envois()
    {
        QFETCH(QString, nom);
        QFETCH(QByteArray, contenu);
        QFETCH(int, autour);
        QFETCH(bool, livre);
        QFETCH(int, trames);
        QFETCH(QByteArray, derniere);
        QFETCH(QString, dit);
        QFETCH(QString, ou);
        StationSurLigne e(StationSurLigne::Lien);
        const QString fichier = e.chemin("envoi/" + nom);
        if (!contenu.isNull())
            ecrireFichier(fichier, contenu);
        if (autour == ArchiveDeLUtilisateur)
            ecrireFichier(fichier + ".ZQZIP", "à moi");
        if (autour == ArchiveImpossible)
            QDir().mkpath(e.chemin("Travail/Port 1/" + nom + ".ZQZIP"));
        e.silence = autour == Muet ? 10 : 0;
        const QStringList avant = fichiersDe(e.chemin("envoi"));
        QStringList pendant = avant;
        e.surReceptionPair = [&](const QByteArray &) { pendant = fichiersDe(e.chemin("envoi")); };
        QCOMPARE(e.poste->EnvoyerFichier(fichier), livre);
        QCOMPARE(e.tramesRecues.size(), trames);
        if (trames) {
            QCOMPARE(e.tramesRecues[0], QByteArray("FICHIER"));
            if (derniere.contains(".ZQZIPPK")) // an archive: its first bytes
                QVERIFY(e.tramesRecues.last().startsWith(derniere));
            else
                QCOMPARE(e.tramesRecues.last(), derniere);
            QVERIFY(e.poste->TimeOut()->Enabled()); // supervised again
        }
        if (!dit.isEmpty())
            QVERIFY2(!e.informations.filter(dit).isEmpty(), qPrintable(e.informations.join('\n')));
        QCOMPARE(e.boites.boites.isEmpty() ? QString() : e.boites.boites.last().titre,
                 autour == ArchiveImpossible ? QStringLiteral("Compression") : QString());
        // The archive is made out of the user's folder and goes when the send ends, whatever
        // its outcome; only the scanner deletes a sent file.
        QCOMPARE(pendant, avant);
        QCOMPARE(fichiersDe(e.chemin("Travail/Port 1")), QStringList());
        if (!ou.isEmpty())
            QCOMPARE(lireFichier(e.chemin("envoi/" + ou)), contenu);
        if (autour == ArchiveDeLUtilisateur)
            QCOMPARE(lireFichier(fichier + ".ZQZIP"), QByteArray("à moi"));
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
        StationSurLigne e(StationSurLigne::Lien);
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
        StationSurLigne e(StationSurLigne::Lien);
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

    void archiveLaisseeParUnArretBrutalNettoyee()
    {
        // The archive of a send goes with the link object, whenever it ends (see
        // tst_cinterlocuteur); one left by a crash is cleaned when the station starts.
        StationSurLigne e;
        QDir().mkpath(e.chemin("Travail/Port 1"));
        ecrireFichier(e.chemin("Travail/Port 1/vieux.csv.ZQZIP"), "reste");
        e.creerConfiguree();
        QCOMPARE(fichiersDe(e.chemin("Travail/Port 1")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TstEnvoiFichier)
#include "tst_envoi_fichier.moc"
