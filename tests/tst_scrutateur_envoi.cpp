// The outgoing scanner in virtual time, through the whole window: when it scans and how long
// it waits, files that are not ready, unreadable or rewritten while they leave, and what is
// planted in the stations' folders.
#include "mainwindow/FMain.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/StationSurLigne.h"

#include <QDir>
#include <QScopeGuard>
#include <QTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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
}

class TstScrutateurEnvoi : public QObject
{
    Q_OBJECT

    // How a file comes into the outgoing folder, and what the system says of it.
    enum Depot {
        EcrivainEnPause,
        GardeOuvert,
        DeplaceMemeDisque,
        CopieAutreDisque,
        SansFermetures,
        PendantUnEnvoi,
        SansEvenement,
        ApresMiseEnRoute,
        SynchroArretee
    };

private slots:
    void scannerDelaisCompagnonsEtEchecs()
    {
        StationSurLigne s(StationSurLigne::Application);
        FMain &f = s.fenetre();
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
        QCOMPARE(fichiersDe(s.chemin("Envois à A")), QStringList({"a.Log", "a.txt"}));
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
        QCOMPARE(f.CocheSynchro(), 1);                     // the link answered its test
        s.plateforme.avancer(600'000);
        QCOMPARE(essaisDeD(), 6);
        QCOMPARE(fichiersDe(s.chemin("Envois à A")), QStringList({"a.Log", "a.txt", "d.dat"}));
        s.refuse.clear();
        s.plateforme.avancer(20 * 60'000); // the longest wait between two tries is 16 min
        QCOMPARE(fichiersDe(s.chemin("Envois à A")), QStringList({"a.Log", "a.txt"}));

        // Clicking the error line: No opens the file, Yes deletes it; a sent line only shows.
        ecrireFichier(s.envoi("f.dat"), "f");
        s.silence = -1;
        s.plateforme.avancer(10'000);
        const int ligne = int(f.ListeEmissions().indexOf(QRegularExpression(".* - ERREUR : .*f\\.dat$")));
        QVERIFY(ligne >= 0);
        s.vue.editeurPresent = false;
        s.boites.repondre(Reponse::Non);
        f.ListeEmissions_Click(ligne);
        QCOMPARE(s.vue.edites, QStringList({s.envoi("f.dat")}));
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
        StationSurLigne s(StationSurLigne::Application);
        FMain &f = s.fenetre();
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
        StationSurLigne s(StationSurLigne::Application);
        FMain &f = s.fenetre();
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

    void fichierReecritPendantSonEnvoi_data()
    {
        QTest::addColumn<QByteArray>("nouveau");
        QTest::addColumn<bool>("memeDate"); // as on a share that keeps dates to two seconds
        QTest::newRow("plus long") << QByteArray("version 2, plus longue") << false;
        QTest::newRow("même taille, même date") << QByteArray("version 2") << true;
    }

    void fichierReecritPendantSonEnvoi()
    {
        // Kept, and sent again as it is now.
        QFETCH(QByteArray, nouveau);
        QFETCH(bool, memeDate);
        StationSurLigne s(StationSurLigne::Application);
        FMain &f = s.fenetre();
        f.setCocheSynchro(1);
        s.plateforme.avancer(13'000);
        const QString releve = s.envoi("releve.txt");
        ecrireFichier(releve, "version 1");
        bool reecrit = false;
        s.surReceptionPair = [&](const QByteArray &) {
            if (!reecrit && s.recuParLePair.endsWith("FICHIER")) {
                reecrit = true;
                const QDateTime date = QFileInfo(releve).lastModified();
                ecrireFichier(releve, nouveau);
                if (memeDate) {
                    QFile r(releve);
                    r.open(QIODevice::ReadWrite);
                    r.setFileTime(date, QFileDevice::FileModificationTime);
                }
            }
        };
        s.plateforme.avancer(7000);
        QVERIFY(reecrit);
        QVERIFY(!f.ListeInfo().filter("a changé pendant son envoi").isEmpty());
        s.plateforme.avancer(10'000);
        QVERIFY(!QFile::exists(releve));
        QVERIFY(s.recuParLePair.contains(nouveau));
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
        QTest::newRow("envoi : lien vers un fichier lisible")
            << "Envois à A/secret.txt" << false << true << "ok.txt" << nonOrdinaire.arg("lien symbolique");
        QTest::newRow("envoi : lien cassé") << "Envois à A/secret.txt" << false << false << "ok.txt"
                                            << nonOrdinaire.arg("lien symbolique");
        QTest::newRow("envoi : tube nommé") << "Envois à A/tube" << true << false << "ok.txt"
                                            << nonOrdinaire.arg("fichier spécial");
        QTest::newRow("réception : lien cassé au nom du fichier") << "Recus de B/OK.TXT" << false << false << "ok.txt" << "";
        QTest::newRow("réception : lien vers un fichier au nom du fichier") << "Recus de B/OK.TXT" << false << true << "ok.txt" << "";
        QTest::newRow("extraction : lien au nom du fichier extrait")
            << "Travail/Port B/Extraction/GROS.TXT" << false << true << "gros.txt" << "";
        QTest::newRow("extraction : lien au nom de l'archive")
            << "Travail/Port B/Extraction/GROS.TXT.ZQZIP" << false << true << "gros.txt" << "";
        // The station's own file: the link is replaced by it, its target untouched.
        QTest::newRow("mémoire des fichiers reçus : lien à sa place")
            << "Travail/Port B/Mémoire/recus" << false << true << "ok.txt" << "";
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
        DeuxStationsSurCable s({.bauds = 115200});
        s.lancer(s.a, "A", "ProtocoleEtendu=0\n");
        s.lancer(s.b, "B", "ProtocoleEtendu=0\n");
        StationSimulee &poste = plante.startsWith("Envois") ? s.a : s.b;
        const QString lien = poste.chemin(plante), cible = poste.chemin("cible");
        QDir().mkpath(QFileInfo(lien).absolutePath());
        if (cibleExiste)
            ecrireFichier(cible, "intact");
        QVERIFY(tube ? ::mkfifo(QFile::encodeName(lien).constData(), 0600) == 0 : QFile::link(cible, lien));
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
};

QTEST_GUILESS_MAIN(TstScrutateurEnvoi)
#include "tst_scrutateur_envoi.moc"
