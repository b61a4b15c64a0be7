// The extended transfer between two of our stations once they recognised each other: sealed
// and windowed slices, hostile names and texts, resumption from the ranges a receiver holds.
#include "link/EnvoiEtendu.h"
#include "link/shared/Plages.h"
#include "link/shared/TramesEtendues.h"
#include "tests/support/BancLigne.h"
#include "tests/support/CanalSimule.h"
#include "tests/support/DeuxStationsSurCable.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtTest>

namespace TE = TramesEtendues;

namespace {
// Where B keeps what it knows of the transfers it may resume.
QString dossierReprises(const StationSimulee &b)
{
    return b.chemin("Travail/Port 1/Reprises");
}
// Data frames a station took in, and their bytes.
qsizetype octetsDeDonnees(const StationSimulee &s)
{
    qsizetype n = 0;
    for (const QByteArray &t : s.trames)
        n += t.startsWith(TE::Donnees) ? t.size() : 0;
    return n;
}
}

class TstTransfertEtendu : public QObject
{
    Q_OBJECT

private slots:
    // The extension's send alone, against a receiver the test plays.
    void envoiSeul_data()
    {
        QTest::addColumn<qint64>("reprise");      // where the receiver's copy stops
        QTest::addColumn<int>("trancheAPerdre");  // 0: none; lost once
        QTest::addColumn<bool>("refus");
        QTest::addColumn<bool>("muet");           // acknowledges nothing
        QTest::addColumn<int>("ligneCoupeeApres"); // slices before the carrier goes; 0: never
        QTest::addColumn<int>("finAuPas");
        QTest::addColumn<int>("issue");
        QTest::addColumn<QString>("dit");
        using I = EnvoiFichier::Issue;
        QTest::newRow("tout passe") << 0LL << 0 << false << false << 0 << 0 << int(I::Livre) << "";
        QTest::newRow("reprise au milieu") << 5000LL << 0 << false << false << 0 << 0 << int(I::Livre) << "Reprise de";
        QTest::newRow("une tranche perdue, renvoyée") << 0LL << 2 << false << false << 0 << 0 << int(I::Livre) << "";
        QTest::newRow("offre refusée") << 0LL << 0 << true << false << 0 << 0 << int(I::Abandon) << "refuse";
        QTest::newRow("destinataire muet") << 0LL << 0 << false << true << 0 << 0 << int(I::Inconnue) << "ne répond plus";
        QTest::newRow("porteuse perdue") << 0LL << 0 << false << false << 1 << 0 << int(I::LignePerdue) << "";
        QTest::newRow("moteur parti à l'offre") << 0LL << 0 << false << false << 0 << 1 << int(I::Fin) << "";
        QTest::newRow("moteur parti à une tranche") << 0LL << 0 << false << false << 0 << 3 << int(I::Fin) << "";
        QTest::newRow("moteur parti en attendant") << 0LL << 0 << false << false << 0 << 5 << int(I::Fin) << "";
        QTest::newRow("moteur parti à la fin") << 0LL << 0 << false << false << 0 << 6 << int(I::Fin) << "";
    }

    void envoiSeul()
    {
        QFETCH(qint64, reprise);
        QFETCH(int, trancheAPerdre);
        QFETCH(bool, refus);
        QFETCH(bool, muet);
        QFETCH(int, ligneCoupeeApres);
        QFETCH(int, finAuPas);
        QFETCH(int, issue);
        QFETCH(QString, dit);
        QTemporaryDir dossier;
        CanalSimule canal(dossier.path());
        canal.finAuPas = finAuPas;
        const QByteArray contenu = aleatoire(10'000);
        const QString fichier = dossier.path() + "/RELEVE.BIN";
        ecrireFichier(fichier, contenu);
        EnvoiEtendu envoi(canal);
        Plages recu;
        recu.ajouter(0, reprise);
        QByteArray copie = contenu.left(reprise).leftJustified(contenu.size(), '\0');
        int tranches = 0;
        canal.surCommande = [&](const QByteArray &texte, const QByteArray &) -> ReponseCommande {
            if (texte.startsWith(TE::Offre))
                return refus ? ReponseCommande{IssueCommande::Refusee, TE::sceller(TE::Refus, "disque plein")}
                             : ReponseCommande{IssueCommande::Repondue, TE::sceller(TE::Pret, QByteArray::number(reprise))};
            if (const auto tranche = TE::lireDonnees(texte)) {
                if (++tranches == trancheAPerdre || muet)
                    return {IssueCommande::Repondue, {}};
                copie.replace(tranche->position, tranche->tranche.size(), tranche->tranche);
                recu.ajouter(tranche->position, tranche->position + tranche->tranche.size());
                envoi.surAcquit(TE::sceller(TE::Acquit, recu.texte()));
                return {IssueCommande::Repondue, {}};
            }
            if (texte.startsWith(TE::Fin) && recu.contient(0, contenu.size()))
                return {IssueCommande::Repondue, "OKFICHIER"};
            return {};
        };
        const auto lignePerdue = [&] { return ligneCoupeeApres > 0 && tranches >= ligneCoupeeApres; };
        QCOMPARE(int(envoi.envoyer(fichier, lignePerdue)), issue);
        if (finAuPas > 0)
            QCOMPARE(canal.pas(), finAuPas); // nothing asked once the engine went
        if (issue == int(EnvoiFichier::Issue::Livre)) {
            QCOMPARE(copie, contenu);
            // Only what the receiver lacked; after a loss, the rest in shorter slices.
            const int entieres = int((contenu.size() - reprise + 3967) / 3968);
            QVERIFY(trancheAPerdre ? tranches > entieres : tranches == entieres);
        }
        if (!dit.isEmpty())
            QVERIFY2(!canal.informations.filter(dit).isEmpty(), qPrintable(canal.informations.join('\n')));
    }

    void transferts_data()
    {
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<double>("corruption");
        QTest::addColumn<double>("perte");
        QTest::newRow("vide") << QByteArray("") << 0.0 << 0.0;
        QTest::newRow("300 octets, sans archive") << QByteArray(300, 'a') << 0.0 << 0.0;
        QTest::newRow("au-delà de 999 parties") << aleatoire(1'100'000) << 0.0 << 0.0;
        QTest::newRow("octets altérés") << aleatoire(100'000) << 2e-4 << 0.0;
        QTest::newRow("octets perdus") << aleatoire(100'000) << 0.0 << 2e-4;
    }

    void transferts()
    {
        QFETCH(QByteArray, contenu);
        QFETCH(double, corruption);
        QFETCH(double, perte);
        DeuxStationsSurCable t({.tauxCorruption = corruption, .tauxPerte = perte});
        t.demarrer();
        t.reconnaitre();
        QVERIFY(t.a.poste->extensionActive());
        ecrireFichier(t.a.chemin("envoi/releve.bin"), contenu);
        QVERIFY2(t.a.poste->EnvoyerFichier(t.a.chemin("envoi/releve.bin")), qPrintable(t.a.informations.join('\n') + "\n--\n" + t.b.informations.join('\n')));
        QCOMPARE(fichiersDe(t.b.chemin("recus")), QStringList({"RELEVE.BIN"}));
        QCOMPARE(lireFichier(t.b.chemin("recus/RELEVE.BIN")), contenu);
        QCOMPARE(fichiersDe(dossierReprises(t.b)), QStringList());
        QVERIFY(!t.b.trames.contains("RECEPFICHIER") && !t.b.trames.contains("FICHIER"));
        // A damaged slice is sent again alone: a window sent again for each would double the file.
        QVERIFY2(octetsDeDonnees(t.b) < contenu.size() * 3 / 2 + 4096, qPrintable(QString::number(octetsDeDonnees(t.b))));
    }

    void reprises_data()
    {
        QTest::addColumn<QString>("entreDeux");
        QTest::addColumn<bool>("repris");
        QTest::addColumn<QString>("dit");
        QTest::newRow("le même fichier") << "" << true << "";
        QTest::newRow("un autre fichier du même nom") << "autre" << false << "";
        QTest::newRow("copie partielle abîmée sur le disque") << "abimee" << true << "empreinte SHA-256 fausse";
        QTest::newRow("copie partielle de plus d'une semaine") << "expiree" << false << "";
        QTest::newRow("lien planté à la place de la copie partielle") << "lien" << false << "n'était pas un fichier de ce poste";
    }

    void reprises()
    {
        // The receiver stops half-way and starts again: the next offer goes on from its copy
        // when it is the same file, and nothing damaged is ever stored.
        QFETCH(QString, entreDeux);
        QFETCH(bool, repris);
        QFETCH(QString, dit);
        DeuxStationsSurCable t;
        t.demarrer();
        t.reconnaitre();
        QByteArray contenu = aleatoire(150'000, 7);
        ecrireFichier(t.a.chemin("envoi/releve.bin"), contenu);
        bool arrete = false;
        t.b.poste->ProgressRecept.connecter([&](qint32, qint32) {
            if (!arrete && t.b.poste->TailleReceptionEnCours() >= 70'000) {
                arrete = true;
                t.plateforme.planifier(0, [&] { t.b.poste->Terminer(); });
            }
        });
        QVERIFY(!t.a.poste->EnvoyerFichier(t.a.chemin("envoi/releve.bin")));
        QVERIFY(arrete);
        QCOMPARE(fichiersDe(t.b.chemin("recus")), QStringList());
        const QStringList copies = fichiersDe(dossierReprises(t.b));
        QCOMPARE(copies.size(), 2); // the data and its note
        if (entreDeux == "autre")
            ecrireFichier(t.a.chemin("envoi/releve.bin"), contenu = aleatoire(150'000, 8));
        if (entreDeux == "abimee") {
            QFile part(dossierReprises(t.b) + "/" + copies.filter(".part").first());
            QVERIFY(part.open(QIODevice::ReadWrite) && part.seek(1000) && part.write("abîmé") > 0);
        }
        const QString ailleurs = t.b.chemin("ailleurs");
        if (entreDeux == "lien") {
            const QString part = dossierReprises(t.b) + "/" + copies.filter(".part").first();
            ecrireFichier(ailleurs, "intact");
            QVERIFY(QFile::remove(part) && QFile::link(ailleurs, part));
        }
        if (entreDeux == "expiree") {
            QFile note(dossierReprises(t.b) + "/" + copies.filter(".info").first());
            QVERIFY(note.open(QIODevice::ReadWrite)
                    && note.setFileTime(t.plateforme.maintenant().addDays(-8), QFileDevice::FileModificationTime));
        }
        t.b.poste.reset();
        t.b.creerConfiguree(QStringLiteral("COM2:"));
        t.b.poste->AttacherMinuterie();
        t.b.poste->FrmComm->Connecter();
        t.reconnaitre();
        QVERIFY(t.a.poste->EnvoyerFichier(t.a.chemin("envoi/releve.bin")));
        QCOMPARE(lireFichier(t.b.chemin("recus/RELEVE.BIN")), contenu);
        QCOMPARE(t.a.informations.filter(QRegularExpression("^Reprise de .* à l'octet [1-9]")).size(), repris ? 1 : 0);
        if (!dit.isEmpty())
            QCOMPARE(t.b.informations.filter(dit).size(), 1);
        QCOMPARE(fichiersDe(dossierReprises(t.b)).size(), entreDeux == "autre" ? 2 : 0); // the other one waits for its week
        if (entreDeux == "lien")
            QCOMPARE(lireFichier(ailleurs), QByteArray("intact"));
    }

    void tranchesScellees_data()
    {
        // Sealed, a slice's position goes in five bytes: any offset an offer may announce.
        QTest::addColumn<qint64>("position");
        QTest::newRow("début") << qint64(0);
        QTest::newRow("256 Kio") << qint64(262144);
        QTest::newRow("la plus grande") << (qint64(1) << 40) - 1;
    }

    void tranchesScellees()
    {
        QFETCH(qint64, position);
        const QByteArray texte = TE::donnees(position, "\x02:abc", false);
        QCOMPARE(texte.size(), 3 + 5 + 5);
        const auto lue = TE::lireDonnees(texte, false);
        QVERIFY(lue && lue->position == position && lue->tranche == "\x02:abc");
        QVERIFY(!TE::lireDonnees(texte.left(7), false)); // cut inside the position
    }

    void textesHostiles_data()
    {
        QTest::addColumn<QList<QByteArray>>("textes");
        QTest::addColumn<QStringList>("recus");
        QTest::addColumn<QString>("reponse");
        const QByteArray sha = QCryptographicHash::hash("abc", QCryptographicHash::Sha256).toHex();
        const auto offre = [&](qint64 taille, const QByteArray &nom) { return TE::offre({taille, sha, nom}); };
        const QByteArray fin = TE::sceller(TE::Fin, {});
        QTest::newRow("nom qui remonte") << QList<QByteArray>{offre(3, "../../hors.txt"), TE::donnees(0, "abc"), fin}
                                         << QStringList({"HORS.TXT"}) << "OKFICHIER";
        QTest::newRow("clé fausse") << QList<QByteArray>{"XFOFFRE00000000" + offre(3, "a.txt").mid(15)} << QStringList() << "";
        QTest::newRow("taille démesurée") << QList<QByteArray>{offre(qint64(1) << 40, "a.txt")} << QStringList()
                                          << "XFREFUS";
        QTest::newRow("données au-delà de la taille")
            << QList<QByteArray>{offre(3, "a.txt"), TE::donnees(2, "abc"), fin} << QStringList() << "XFREFUS";
        QTest::newRow("fin sans offre") << QList<QByteArray>{fin} << QStringList() << "XFREFUS";
        QTest::newRow("empreinte fausse") << QList<QByteArray>{offre(3, "a.txt"), TE::donnees(0, "abd"), fin} << QStringList()
                                          << "XFREFUS";
        // Tables of coding go to the memory, never to the user's folder, and only under their own name.
        const QByteArray abc = "abc";
        const auto tables = [&](const QByteArray &nom, qint64 taille, bool dedans) {
            return TE::offreCodee({3, sha, nom}, {MethodeCodage::Methode::Brut, {}, taille, sha}, true, dedans ? &abc : nullptr);
        };
        QTest::newRow("tables") << QList<QByteArray>{tables("/TABLES.TXT", 3, true)} << QStringList() << "OKFICHIER";
        QTest::newRow("tables au nom mal formé") << QList<QByteArray>{tables("/etc/passwd", 3, true)} << QStringList() << "XFREFUS";
        QTest::newRow("tables démesurées") << QList<QByteArray>{tables("/TABLES.TXT", 20'000, false)} << QStringList() << "XFREFUS";
    }

    void textesHostiles()
    {
        QFETCH(QList<QByteArray>, textes);
        QFETCH(QStringList, recus);
        QFETCH(QString, reponse);
        DeuxStationsSurCable t;
        t.demarrer();
        t.reconnaitre();
        QList<QByteArray> versA;
        t.a.poste->FrmComm->Port->Lecture.connecter([&](const QByteArray &o) { versA << o; });
        for (const QByteArray &texte : textes) {
            t.a.poste->EnvoyerCommande(texte, {}, 3000);
            t.plateforme.avancer(500);
        }
        QCOMPARE(fichiersDe(t.b.chemin("recus")), recus);
        QCOMPARE(QDir(t.b.chemin("..")).entryList({"*hors*"}, QDir::Files), QStringList());
        const QByteArray tout = versA.join();
        QCOMPARE(tout.contains("XFREFUS"), reponse == "XFREFUS");
        QCOMPARE(tout.contains("OKFICHIER"), reponse == "OKFICHIER");
        if (reponse.isEmpty())
            QVERIFY(!tout.contains("XF"));
    }

    void plages_data()
    {
        QTest::addColumn<QList<qint64>>("ajouts"); // debut, fin, debut, fin…
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<qint64>("continu");
        QTest::newRow("dans l'ordre") << QList<qint64>{0, 10, 10, 20} << QByteArray("0-20") << qint64(20);
        QTest::newRow("un trou") << QList<qint64>{0, 10, 20, 30} << QByteArray("0-10,20-30") << qint64(10);
        QTest::newRow("le trou comblé") << QList<qint64>{20, 30, 0, 10, 5, 25} << QByteArray("0-30") << qint64(30);
        QTest::newRow("rien depuis zéro") << QList<qint64>{5, 8, 1, 2} << QByteArray("1-2,5-8") << qint64(0);
        QTest::newRow("vide et à l'envers") << QList<qint64>{4, 4, 9, 3} << QByteArray("") << qint64(0);
    }

    void plages()
    {
        QFETCH(QList<qint64>, ajouts);
        QFETCH(QByteArray, texte);
        QFETCH(qint64, continu);
        Plages p;
        for (qsizetype i = 0; i + 1 < ajouts.size(); i += 2)
            p.ajouter(ajouts[i], ajouts[i + 1]);
        QCOMPARE(p.texte(), texte);
        QCOMPARE(p.continuDepuisZero(), continu);
        const auto relue = Plages::lire(texte, 30);
        QVERIFY(relue && relue->texte() == texte);
        for (const QByteArray hostile : {"1-", "-5", "5-2", "0-31", "a-b", "0-5,,"})
            QVERIFY2(!Plages::lire(hostile, 30), hostile.constData());
    }
};

QTEST_GUILESS_MAIN(TstTransfertEtendu)
#include "tst_transfert_etendu.moc"
