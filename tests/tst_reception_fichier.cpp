// Receiving files in virtual time, between two stations or from a scripted sender: names,
// every byte, parts and archives, damaged or refused input, a full disk, a power cut after
// the acknowledgement, a reception abandoned half-way.
#include "link/ReceptionFichier.h"
#include "link/shared/MGlobal.h"
#include "platform/Dezipper.h"
#include "platform/Minuterie.h"
#include "platform/Zipper.h"
#include "securite/CleStation.h"
#include "tests/support/DisquePlein.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/BancLigne.h"
#include "tests/support/CanalSimule.h"
#include "tests/support/StationSimulee.h"

#include <QDir>
#include <QTest>

#include <optional>

#include <random>

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
// A part of a file cut in `total` parts, with its key (the right one unless given).
QByteArray partie(int i, int total, const QByteArray &contenu, QByteArray cle = {})
{
    if (cle.isEmpty())
        cle = MGlobal::CleDonnees(contenu);
    return "RECEPGROSFIC" + QByteArray::number(i).rightJustified(3, '0') + QByteArray::number(total).rightJustified(3, '0') + cle
        + '\t' + contenu;
}
// The copies of refused archives a station keeps aside.
QStringList gardees(StationSimulee &p)
{
    QStringList chemins;
    for (const QString &section : QDir(p.chemin("Travail")).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        for (const QString &nom : fichiersDe(p.chemin("Travail/" + section + "/Abîmés")))
            chemins << p.chemin("Travail/" + section + "/Abîmés/" + nom);
    return chemins;
}
QByteArray fichierEntier(const QByteArray &nom, const QByteArray &contenu)
{
    return "RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + contenu;
}
}

class TstReceptionFichier : public QObject
{
    Q_OBJECT

    // Why the receiving disk does not take a file.
    enum Refus { Reserve, DossierImpossible, Plein };

private slots:
    void nomsHorodatesEtTousLesOctets()
    {
        // Every byte value, whole or in parts, compressed or not, under an accented name; a
        // second and third file of one name within a second each keep their own contents.
        DeuxStationsSurCable banc;
        banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 9, 4), QTime(15, 30, 12)), nullptr);
        banc.demarrer();
        int progressions = 0;
        banc.b.poste->ProgressRecept.connecter([&](qint32 recu, qint32 attendu) { progressions += recu < attendu; });
        const QList<QByteArray> releves = {tousLesOctets(1).left(250), "second", "troisième"};
        const QList<QByteArray> donnees = {tousLesOctets(2), tousLesOctets(40), aleatoire(20000)};
        for (const auto &[nom, contenus] : {std::pair{"envoi/Relevé été.txt", releves}, std::pair{"envoi/data.csv", donnees}})
            for (const QByteArray &contenu : contenus) {
                ecrireFichier(banc.a.chemin(nom), contenu);
                QVERIFY(banc.a.poste->EnvoyerFichier(banc.a.chemin(nom)));
            }
        banc.plateforme.avancer(10);
        QVERIFY(progressions > 0); // long messages arrive in pieces, and say so
        const QStringList recus = fichiersDe(banc.b.chemin("recus"));
        for (const auto &[nom, contenus] : {std::pair{QStringLiteral("RELEVÉ ÉTÉ.TXT"), releves}, std::pair{QStringLiteral("DATA.CSV"), donnees}}) {
            const QStringList memeNom = recus.filter(nom);
            QCOMPARE(memeNom.filter(QRegularExpression("^040909 1530\\d\\d " + QRegularExpression::escape(nom) + "$")).size(), 2);
            QVERIFY(memeNom.contains(nom));
            QSet<QByteArray> lus;
            for (const QString &n : memeNom)
                lus << lireFichier(banc.b.chemin("recus/" + n));
            QCOMPARE(lus, QSet<QByteArray>(contenus.begin(), contenus.end()));
        }
        QCOMPARE(recus.size(), 6);
        QCOMPARE(fichiersDe(banc.b.chemin("recus/UNZIP")), QStringList());
        QVERIFY(banc.b.informations.contains("Fichier réceptionné"));
        QCOMPARE(banc.b.proprietaire.cocheSynchro, 1);
    }

    void unFichierAcquitteSurvitAUneCoupureDeCourant_data()
    {
        QTest::addColumn<bool>("etendu");
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<bool>("redemarrage"); // the receiver restarts, and the sender sends it again
        const QByteArray texte = QByteArray("ligne;de;tableau;\r\n").repeated(400);
        QTest::newRow("300 octets, tels quels") << false << aleatoire(300) << false;
        QTest::newRow("archive en un texte") << false << texte.left(900) << false;
        QTest::newRow("en parties") << false << aleatoire(5000) << false;
        QTest::newRow("archive en parties") << false << texte << false;
        QTest::newRow("protocole étendu") << true << aleatoire(50'000) << false;
        QTest::newRow("protocole étendu, archive") << true << texte << false;
        QTest::newRow("renvoyé après un redémarrage") << false << aleatoire(5000) << true;
        QTest::newRow("renvoyé après un redémarrage, étendu") << true << aleatoire(5000) << true;
    }

    void unFichierAcquitteSurvitAUneCoupureDeCourant()
    {
        // Every time the receiver writes "OKFICHIER", a power cut at that instant must leave
        // each file it stored whole under its name. Nothing touches a stored file later, so
        // that is every cut point after an acknowledgement; before it, nothing was promised.
        QFETCH(bool, etendu);
        QFETCH(QByteArray, contenu);
        QFETCH(bool, redemarrage);
        DeuxStationsSurCable banc;
        banc.demarrer(etendu ? QByteArray() : "ProtocoleEtendu=0\n", etendu ? QByteArray() : "ProtocoleEtendu=0\n");
        banc.a.poste->TesterConnexion(true);
        int acquits = 0;
        QStringList perdus;
        banc.ligne.b().espionEmission = [&](const QByteArray &octets) {
            if (!octets.contains("OKFICHIER") || banc.b.fichiersRecus.isEmpty())
                return; // the answer to "FICHIER" promises nothing yet
            ++acquits;
            for (const QString &f : std::as_const(banc.b.fichiersRecus))
                if (!banc.disque.survivrait(f, contenu))
                    perdus << f;
        };
        const QString fichier = banc.a.chemin("envoi/precieux.bin");
        ecrireFichier(fichier, contenu);
        QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
        QCOMPARE(banc.b.fichiersRecus.size(), 1);
        if (redemarrage) {
            // Its "OKFICHIER" lost, the sender offers the file again to a receiver restarted.
            banc.b.poste.reset();
            banc.b.poste = nullptr;
            banc.b.creerConfiguree(QStringLiteral("COM2:"), etendu ? QByteArray() : "ProtocoleEtendu=0\n");
            banc.b.poste->AttacherMinuterie();
            banc.b.poste->FrmComm->Connecter();
            banc.a.poste->TesterConnexion(true);
            QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
            QVERIFY2(!banc.b.informations.filter("déjà reçu").isEmpty(), qPrintable(banc.b.informations.join('\n')));
            QCOMPARE(fichiersDe(banc.b.chemin("recus")), QStringList{"PRECIEUX.BIN"});
        }
        QVERIFY(acquits >= (redemarrage ? 2 : 1));
        QVERIFY2(perdus.isEmpty(), qPrintable(perdus.join('\n')));
        QCOMPARE(banc.a.poste->extensionActive(), etendu);
    }

    void rienNEstPerduQuandLeDisqueRefuse_data()
    {
        QTest::addColumn<int>("refus");
        QTest::addColumn<bool>("etendu");
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QString>("dit");
        const QString reserve = "Mio gardés en réserve (EspaceLibreMin)", pasAcquitte = "n'est pas acquitté";
        QTest::newRow("réserve, protocole étendu") << int(Reserve) << true << aleatoire(40'000) << reserve;
        QTest::newRow("réserve, protocole étendu, fichier qui se compresse") << int(Reserve) << true << QByteArray("champ;valeur\r\n").repeated(3000) << reserve;
        QTest::newRow("réserve, fichier entier") << int(Reserve) << false << aleatoire(200) << reserve;
        QTest::newRow("réserve, archive") << int(Reserve) << false << QByteArray("champ;valeur\r\n").repeated(500) << reserve;
        QTest::newRow("dossier impossible, fichier entier") << int(DossierImpossible) << false << aleatoire(200) << pasAcquitte;
        QTest::newRow("dossier impossible, en parties") << int(DossierImpossible) << false << aleatoire(30'000) << pasAcquitte;
        QTest::newRow("limite de taille") << int(Plein) << false << aleatoire(60'000) << "Fichier trop grand";
        QTest::newRow("limite de taille, petit fichier entier") << int(Plein) << false << aleatoire(1000) << "Fichier trop grand";
    }

    void rienNEstPerduQuandLeDisqueRefuse()
    {
        // A file is acknowledged only once stored, and no reception eats into the reserve:
        // refused with its reason, the sender keeps the file, and it goes once the disk allows.
        QFETCH(int, refus);
        QFETCH(bool, etendu);
        QFETCH(QByteArray, contenu);
        QFETCH(QString, dit);
        DeuxStationsSurCable banc;
        const QByteArray protocole = etendu ? QByteArray() : "ProtocoleEtendu=0\n";
        banc.demarrer(protocole, protocole + (refus == Reserve ? "EspaceLibreMin=1000000000\n" : ""));
        banc.a.poste->TesterConnexion(true);
        const QString fichier = banc.a.chemin("envoi/precieux.bin");
        ecrireFichier(fichier, contenu);
        std::optional<DisquePlein> plein;
        if (refus == Plein)
            plein.emplace(rlim_t(contenu.size() / 3)); // the stored file, not the sender's
        ecrireFichier(banc.b.chemin("pas-un-dossier"), "x");
        if (refus == DossierImpossible)
            banc.b.poste->Parametres.CheminFichiersRecus = banc.b.chemin("pas-un-dossier/recus");
        const bool livre = banc.a.poste->EnvoyerFichier(fichier);
        plein.reset();
        QVERIFY(!livre);
        QCOMPARE(lireFichier(fichier), contenu);
        QVERIFY(banc.b.fichiersRecus.isEmpty());
        QVERIFY2(!banc.b.informations.filter(dit).isEmpty(), qPrintable(banc.b.informations.join('\n')));
        QCOMPARE(fichiersDe(banc.b.chemin("recus")), QStringList());
        // Refused at the offer: no byte of it was rebuilt into the reserve meanwhile.
        QVERIFY2(!QFileInfo::exists(banc.b.chemin("Travail/Port 1/Reconstitution")), qPrintable(banc.b.informations.join("\n")));
        banc.b.poste->Parametres.EspaceLibreMin = 0;
        banc.b.poste->Parametres.CheminFichiersRecus = banc.b.chemin("recus");
        banc.plateforme.avancer(60'000);
        QVERIFY(banc.a.poste->EnvoyerFichier(fichier));
        QCOMPARE(lireFichier(banc.b.fichiersRecus.value(0)), contenu);
    }

    void rienNEstAcquitteQuiNeSoitEntier_data()
    {
        // Each way a file comes in, each fault the disk can give at each call: the file is
        // not acknowledged, nothing of it stands in the incoming folder, the reason is said,
        // and the sender's next try, the fault gone, stores it whole.
        QTest::addColumn<QByteArray>("cles"); // of both stations: the way files go
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<int>("etape");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("dans"); // the paths struck, below the receiver's folder
        QTest::addColumn<int>("sauter");
        QTest::addColumn<int>("fois"); // tries the fault lasts
        using E = DisqueSimule::Etape;
        const QByteArray texte = QByteArray("ligne;de;tableau;\r\n").repeated(400);
        struct Chemin
        {
            const char *nom;
            bool etendu;
            QByteArray contenu;
            QString dans;
            QString renomme; // where its last name is put in place
            bool memoire = true;
            QByteArray cles() const { return !etendu ? "ProtocoleEtendu=0\n" : memoire ? "" : "MemoireFichiers=0\n"; }
        };
        const QList<Chemin> chemins{
            {"fichier entier", false, aleatoire(300), "recus/", "recus/"},
            {"archive entière", false, texte.left(900), "Travail/Port 1/Extraction/", "Travail/Port 1/Extraction/"},
            {"en parties (archive stockée)", false, aleatoire(5000), "Travail/Port 1/Extraction/", "recus/"},
            {"archive en parties", false, texte, "Travail/Port 1/Extraction/", "recus/"},
            {"étendu", true, aleatoire(50'000), "Travail/Port 1/Reprises/.*\\.part$", "recus/"},
            {"étendu, archive", true, texte, "Travail/Port 1/Reprises/.*\\.part$", "Travail/Port 1/Extraction/", false},
            {"étendu, codé puis reconstitué", true, texte, "Travail/Port 1/Reconstitution/", "recus/"},
        };
        const QList<std::pair<E, QList<int>>> pannes{
            {E::Ouverture, {ENOSPC, EDQUOT, EIO}},
            {E::Ecriture, {ENOSPC, EDQUOT, EFBIG, EIO}},
            {E::EcritureCourte, {ENOSPC, EFBIG}},
            {E::Synchronisation, {ENOSPC, EDQUOT, EIO}},
            {E::Fermeture, {ENOSPC, EDQUOT, EIO}},
            {E::RenommageSansRemplacer, {ENOSPC, EDQUOT, EIO}},
        };
        const char *etapes[] = {"ouverture", "écriture", "écriture courte", "synchronisation", "fermeture", "renommage"};
        for (const Chemin &c : chemins)
            for (const auto &[etape, codes] : pannes)
                for (const int code : codes)
                    QTest::addRow("%s, %s, %s", c.nom, etapes[int(etape)], strerrorname_np(code))
                        << c.cles() << c.contenu << int(etape) << code << (etape == E::RenommageSansRemplacer ? c.renomme : c.dans) << 0 << 1;
        // The archive's own file, once written, then the file it holds.
        for (const Chemin &c : {chemins[1], chemins[3]}) {
            QTest::addRow("%s, fichier extrait, écriture", c.nom) << c.cles() << c.contenu << int(E::Ecriture) << ENOSPC << c.dans << 1 << 1;
            QTest::addRow("%s, fichier extrait, écriture courte", c.nom) << c.cles() << c.contenu << int(E::EcritureCourte) << EFBIG << c.dans << 1 << 1;
        }
        // A disk that stays full for several tries: said once all the same.
        for (const int c : {0, 4})
            QTest::addRow("%s, ouverture, ENOSPC, quatre essais", chemins[c].nom)
                << chemins[c].cles() << chemins[c].contenu << int(E::Ouverture) << ENOSPC << chemins[c].dans << 0 << 4;
    }

    void rienNEstAcquitteQuiNeSoitEntier()
    {
        QFETCH(QByteArray, cles);
        QFETCH(QByteArray, contenu);
        QFETCH(int, etape);
        QFETCH(int, code);
        QFETCH(QString, dans);
        QFETCH(int, sauter);
        QFETCH(int, fois);
        DeuxStationsSurCable banc;
        banc.demarrer(cles, cles);
        banc.a.poste->TesterConnexion(true);
        const QString fichier = banc.a.chemin("envoi/precieux.bin");
        ecrireFichier(fichier, contenu);
        const QRegularExpression motif(QRegularExpression::escape(banc.b.dossier.path() + "/") + dans);
        banc.disque.pannes = {{DisqueSimule::Etape(etape), code, motif, fois, sauter}};
        // Whenever B acknowledges, the file stands whole in its folder.
        QStringList fautes;
        banc.ligne.b().espionEmission = [&](const QByteArray &octets) {
            if (octets.contains("OKFICHIER") && !banc.b.fichiersRecus.isEmpty() && lireFichier(banc.b.fichiersRecus.last()) != contenu)
                fautes << banc.b.fichiersRecus.last();
        };
        int essais = 1;
        for (; !banc.a.poste->EnvoyerFichier(fichier) && essais < 6; ++essais) {
            QCOMPARE(lireFichier(fichier), contenu);
            banc.plateforme.avancer(60'000);
        }
        QVERIFY(essais < 6);
        QCOMPARE(banc.disque.pannes[0].fois, 0);
        QVERIFY2(fautes.isEmpty(), qPrintable(fautes.join('\n')));
        const QString dit = ErreurDisque::de(code, {}).texte.section(QLatin1Char(':'), 0, 0);
        QVERIFY2(banc.b.informations.filter(dit).size() == 1, qPrintable(banc.b.informations.join('\n')));
        QCOMPARE(QDir(banc.b.chemin("recus")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"PRECIEUX.BIN"});
        QCOMPARE(lireFichier(banc.b.chemin("recus/PRECIEUX.BIN")), contenu);
    }

    void miseEnPlaceSansRemplacer_data()
    {
        // Shares, FUSE file systems and older kernels refuse the rename without replacing;
        // some shares refuse links too. Each fallback stores files, parts and keys, replaces
        // nothing, and is said once per folder. A name that appears just before the rename
        // keeps its file.
        QTest::addColumn<int>("renommage"); // the rename without replacing answers this
        QTest::addColumn<int>("lien");
        QTest::addColumn<bool>("intrus");
        QTest::addColumn<QString>("dit");
        for (const bool intrus : {false, true}) {
            const char *i = intrus ? ", un nom apparaît juste avant" : "";
            QTest::addRow("renommage sans remplacer%s", i) << 0 << 0 << intrus << "";
            QTest::addRow("EINVAL : par un lien%s", i) << EINVAL << 0 << intrus << "par un lien, aussi sûr";
            QTest::addRow("ENOSYS : par un lien%s", i) << ENOSYS << 0 << intrus << "par un lien, aussi sûr";
            QTest::addRow("ni renommage ni lien : après vérification%s", i) << EINVAL << EPERM << intrus << "après avoir vérifié";
        }
    }

    void miseEnPlaceSansRemplacer()
    {
        QFETCH(int, renommage);
        QFETCH(int, lien);
        QFETCH(bool, intrus);
        QFETCH(QString, dit);
        DeuxStationsSurCable banc;
        banc.demarrer();
        banc.a.poste->TesterConnexion(true);
        const QRegularExpression partout(".");
        if (renommage)
            banc.disque.pannes.push_back({DisqueSimule::Etape::RenommageSansRemplacer, renommage, partout, -1});
        if (lien)
            banc.disque.pannes.push_back({DisqueSimule::Etape::Lien, lien, partout, -1});
        QStringList dits;
        banc.disque.avis = [&](const QString &texte) { dits << texte; };
        ecrireFichier(banc.b.chemin("recus/DEJA.BIN"), "déjà là");
        QStringList intrus_;
        banc.disque.avantMiseEnPlace = [&](const QString &cible) {
            if (intrus && intrus_.isEmpty() && cible.contains("/recus/") && !QFile::exists(cible)) {
                ecrireFichier(cible, "intrus");
                intrus_ << cible;
            }
        };
        const QByteArray petit = aleatoire(300, 1), grand = aleatoire(60'000, 2);
        for (const auto &[nom, contenu] : {std::pair{"deja.bin", petit}, std::pair{"grand.bin", grand}}) {
            ecrireFichier(banc.a.chemin(QString("envoi/") + nom), contenu);
            QVERIFY2(banc.a.poste->EnvoyerFichier(banc.a.chemin(QString("envoi/") + nom)), qPrintable(banc.b.informations.join("\n")));
        }
        QTemporaryDir cles;
        QString erreur;
        QVERIFY2(CleStation::charger(banc.disque, cles.path(), "Port 9", erreur), qPrintable(erreur));
        QVERIFY(QFile::exists(CleStation::chemin(cles.path(), "Port 9")));
        // Nothing replaced: what stood there, or appeared there, keeps its content; what came
        // is stored whole beside it.
        QCOMPARE(lireFichier(banc.b.chemin("recus/DEJA.BIN")), QByteArray("déjà là"));
        for (const QString &chemin : std::as_const(intrus_))
            QCOMPARE(lireFichier(chemin), QByteArray("intrus"));
        QByteArrayList stockes;
        for (const QString &nom : QDir(banc.b.chemin("recus")).entryList(QDir::Files | QDir::Hidden))
            stockes << lireFichier(banc.b.chemin("recus/" + nom)).trimmed();
        QVERIFY(stockes.contains(petit) || stockes.contains(petit + "\n"));
        QVERIFY(stockes.contains(grand));
        QVERIFY(!intrus || !intrus_.isEmpty());
        // Said once for each folder, where the fallback served.
        QSet<QString> dossiers;
        for (const QString &texte : std::as_const(dits)) {
            QVERIFY2(!dit.isEmpty() && texte.contains(dit), qPrintable(texte));
            dossiers.insert(texte);
        }
        QCOMPARE(dossiers.size(), dits.size());
        QVERIFY(dit.isEmpty() || dits.filter(banc.b.chemin("recus")).size() == 1);
    }

    void receptions_data()
    {
        // What B receives, what it answers, what it stores (the names, as a pattern over the
        // comma-joined list, and the first one's contents), what it says, and the copies of
        // refused archives it keeps aside.
        QTest::addColumn<QList<QByteArray>>("textes");
        QTest::addColumn<QStringList>("reponses");
        QTest::addColumn<QString>("recus");
        QTest::addColumn<QByteArray>("contenu");
        QTest::addColumn<QString>("dit");
        QTest::addColumn<QList<QByteArray>>("copiesGardees");
        const QStringList ok{"OKFICHIER"};
        const auto nom = [&](const char *nomRecu, const char *attendu) {
            QTest::addRow("nom hostile : %s", nomRecu) << QList<QByteArray>{fichierEntier(nomRecu, "contenu")}
                                                        << (*attendu ? ok : QStringList()) << QString("^%1$").arg(attendu)
                                                        << QByteArray(*attendu ? "contenu" : "") << "" << QList<QByteArray>{};
        };
        nom("../../etc/passwd", "PASSWD");
        nom("..\\..\\x.txt", "X\\.TXT");
        nom("C:evil.bat", "EVIL\\.BAT");
        nom("..", "FICHIER SANS NOM");
        nom("a\x01\nb\x7f.txt", ""); // a damaged length byte
        nom("/tmp/navette-intrus", "NAVETTE-INTRUS");
        QTest::newRow("archive dont l'entrée pointe ailleurs : le nom de l'archive")
            << QList<QByteArray>{fichierEntier("RAPPORT.ZQZIP", donnees("evade.zip"))} << ok << "^RAPPORT$" << QByteArray("x") << ""
            << QList<QByteArray>{};
        QTest::newRow("archive dont le fichier porte son nom")
            << QList<QByteArray>{fichierEntier("X.ZQZIP", donnees("homonyme.zip"))} << ok << "^X$" << QByteArray("contenu") << ""
            << QList<QByteArray>{};
        QTest::newRow("un fichier nommé UNZIP, puis une archive")
            << QList<QByteArray>{fichierEntier("UNZIP", "x"), fichierEntier("X.ZQZIP", donnees("homonyme.zip"))}
            << QStringList({"OKFICHIER", "OKFICHIER"}) << "^UNZIP,X$" << QByteArray("x") << "" << QList<QByteArray>{};
        QTest::newRow("deux fausses archives, chacune gardée entière")
            << QList<QByteArray>{fichierEntier("FAUX.ZQZIP", "pas un zip"), fichierEntier("FAUX.ZQZIP", "court")} << QStringList()
            << "^$" << QByteArray() << "n'est pas acquittée" << QList<QByteArray>{"court", "pas un zip"};
        // Each crafted archive's verdict is in tst_archives; here, what the station does with one.
        QTest::newRow("archive menteuse refusée en la lisant")
            << QList<QByteArray>{fichierEntier("DATA.CSV.ZQZIP", donnees("ment-deflate.zip"))} << QStringList() << "^$" << QByteArray()
            << "plus que les 100 octets" << QList<QByteArray>{donnees("ment-deflate.zip")};
        QTest::newRow("archive abîmée au milieu")
            << QList<QByteArray>{fichierEntier("DATA.BIN.ZQZIP", donnees("milieu-abime.zip"))} << QStringList() << "^$" << QByteArray()
            << "Archive abîmée" << QList<QByteArray>{donnees("milieu-abime.zip")};
        QTest::newRow("archive dont la structure ne tient pas")
            << QList<QByteArray>{fichierEntier("DATA.BIN.ZQZIP", donnees("incoherente.zip"))} << QStringList() << "^$" << QByteArray()
            << "Archive illisible" << QList<QByteArray>{donnees("incoherente.zip")};
        QTest::newRow("archive refusée sans la lire")
            << QList<QByteArray>{fichierEntier("DATA.CSV.ZQZIP", donnees("annonce-demesuree.zip"))} << QStringList() << "^$"
            << QByteArray() << "au plus sont acceptés" << QList<QByteArray>{donnees("annonce-demesuree.zip")};
        QTest::newRow("longueur de nom au-delà du texte : l'étape, et un fichier d'erreur")
            << QList<QByteArray>{"RECEPFICHIER\x40" "COURT"} << ok << "^040909 1530\\d\\d.*\\.Err$"
            << QByteArray("\x40" "COURT\n") << "Etape : Récupération des infos" << QList<QByteArray>{};
        QTest::newRow("partie trop longue") << QList<QByteArray>{partie(1, 3, QByteArray(1025, 'x'))} << QStringList({"ERREURPARTFIC"})
                                            << "^$" << QByteArray() << "Erreur de réception" << QList<QByteArray>{};
        // Parts with a wrong key, missing, repeated (their answer was lost), unreadable.
        const QByteArray T = fichierEntier("A.BIN", aleatoire(2500));
        const auto p = [&](int i, const QByteArray &cle = {}) { return partie(i, 3, T.mid((i - 1) * 1024, 1024), cle); };
        QTest::newRow("parties fausses, sautées, doublées")
            << QList<QByteArray>{p(1, "12345"), p(1), p(3), "RECEPGROSFIC0x1002\tabc", "RECEPGROSFIC001002123", p(1), p(2), p(3), p(3)}
            << QStringList({"ERREURPARTFIC", "OKPARTFIC", "ERREURPARTFIC", "ERREURPARTFIC", "ERREURPARTFIC", "OKPARTFIC", "OKPARTFIC",
                            "OKFICHIER", "OKFICHIER"})
            << "^A\\.BIN$" << T.mid(18) << "Erreur de réception" << QList<QByteArray>{};
    }

    // The reception alone, the engine ending at each of its steps in turn: it stops there,
    // asks nothing more, and acknowledges nothing it did not store.
    void receptionSeuleQuandLeMoteurPart_data()
    {
        QTest::addColumn<int>("finAuPas");
        QTest::newRow("à la réponse à l'annonce") << 1;
        QTest::newRow("à la réponse à la première partie") << 2;
        QTest::newRow("pendant le rangement") << 3;
        QTest::newRow("à l'acquittement") << 4;
        QTest::newRow("jamais") << 0;
    }

    void receptionSeuleQuandLeMoteurPart()
    {
        QFETCH(int, finAuPas);
        QTemporaryDir dossier;
        CanalSimule canal(dossier.path());
        canal.finAuPas = finAuPas;
        ReceptionFichier reception(canal);
        const QByteArray T = fichierEntier("A.BIN", aleatoire(1500));
        for (const QByteArray &texte : {QByteArray("FICHIER"), partie(1, 2, T.left(1024)), partie(2, 2, T.mid(1024))}) {
            if (canal.fin())
                break;
            if (texte == "FICHIER")
                reception.surAnnonce(texte);
            else
                reception.surPartie(texte);
        }
        if (finAuPas > 0)
            QCOMPARE(canal.pas(), finAuPas); // nothing asked once the engine went
        const QStringList stockes = fichiersDe(dossier.path() + "/recus");
        const bool acquitte = canal.commandes.size() == 3 && canal.commandes.last() == "OKFICHIER" && !canal.fin();
        QVERIFY(!acquitte || stockes == QStringList({"A.BIN"}));
        QCOMPARE(finAuPas == 0, acquitte);
        QVERIFY(QDir(dossier.path() + "/recus").entryList({".*"}, QDir::Files | QDir::Hidden).isEmpty());
    }

    // A piece that does not come in time: two more waits, then a link test, then the link
    // is made again when the test goes unanswered.
    void receptionSeuleEnRetard_data()
    {
        QTest::addColumn<int>("erreursAvant");
        QTest::addColumn<bool>("testRepondu");
        QTest::addColumn<QString>("suite");
        QTest::newRow("deuxième") << 1 << true << "attente";
        QTest::newRow("troisième, le test répond") << 2 << true << "test de liaison";
        QTest::newRow("troisième, sans réponse") << 2 << false << "raccrochage et rappel";
    }

    void receptionSeuleEnRetard()
    {
        QFETCH(int, erreursAvant);
        QFETCH(bool, testRepondu);
        QFETCH(QString, suite);
        QTemporaryDir dossier;
        CanalSimule canal(dossier.path());
        canal.erreursDeLigne.fixer(qint16(erreursAvant));
        canal.testRepondu = testRepondu;
        ReceptionFichier reception(canal);
        reception.surAnnonce("FICHIER");
        canal.armements.clear();
        reception.echeance();
        QCOMPARE(canal.erreursDeLigne.nombre(), qint16(erreursAvant + 1));
        if (suite == "attente") {
            QCOMPARE(canal.armements.last(), GenreSupervision::Reception);
            QVERIFY(reception.enCours());
            QVERIFY(!canal.evenements.contains("test de liaison"));
            return;
        }
        QVERIFY(!reception.enCours());
        QVERIFY(canal.evenements.contains("réception abandonnée"));
        QCOMPARE(canal.evenements.last(), suite);
        QCOMPARE(canal.armements.last(), testRepondu ? GenreSupervision::Surveillance : GenreSupervision::NonDefinie);
    }

    void receptions()
    {
        QFETCH(QList<QByteArray>, textes);
        QFETCH(QStringList, reponses);
        QFETCH(QString, recus);
        QFETCH(QByteArray, contenu);
        QFETCH(QString, dit);
        QFETCH(QList<QByteArray>, copiesGardees);
        DeuxStationsSurCable banc;
        banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 9, 4), QTime(15, 30, 12)), nullptr);
        banc.demarrer();
        for (const QByteArray &texte : textes) {
            banc.b.poste->FrmComm->PortEvent_Lecture(BancLigne::trame(texte));
            banc.plateforme.avancer(1100);
        }
        QStringList rendues;
        for (const QByteArray &t : std::as_const(banc.a.trames))
            rendues << QString::fromLatin1(t);
        QVERIFY2(rendues == reponses, qPrintable(rendues.join('|')));
        const QStringList stockes = fichiersDe(banc.b.chemin("recus"));
        QVERIFY2(QRegularExpression(recus).match(stockes.join(',')).hasMatch(), qPrintable(stockes.join(',')));
        if (!contenu.isEmpty())
            QCOMPARE(lireFichier(banc.b.chemin("recus/" + stockes.value(0))), contenu);
        if (!dit.isEmpty())
            QVERIFY2(!banc.b.informations.filter(dit).isEmpty(), qPrintable(banc.b.informations.join('\n')));
        QList<QByteArray> copies;
        for (const QString &chemin : gardees(banc.b))
            copies << lireFichier(chemin);
        std::sort(copies.begin(), copies.end());
        QCOMPARE(copies, copiesGardees);
        // Nothing half-made, no box, nothing outside the station's folders.
        QCOMPARE(fichiersDe(banc.b.chemin("Travail/Port 1/Extraction")), QStringList());
        QCOMPARE(QDir(banc.b.chemin("recus")).entryList({".*"}, QDir::Files | QDir::Hidden), QStringList());
        QVERIFY(banc.boites.boites.isEmpty());
        QCOMPARE(fichiersDe(banc.b.dossier.path()), QStringList({"navette.INI"}));
        QVERIFY(!QFile::exists("/tmp/navette-intrus") && !QFile::exists("/tmp/navette-evade"));
        // Once the last part came, however many times, the link is supervised again and no
        // reception time-out gives up on data that all came.
        if (reponses.value(reponses.size() - 1) == "OKFICHIER") {
            banc.plateforme.avancer(30'000);
            QVERIFY(banc.b.informations.filter("Données incomplètes").isEmpty());
        }
    }

    void unOctetAbimeNestJamaisLivreFaux()
    {
        // One byte altered anywhere in a small archive: the file is refused, or what is
        // delivered is still the file that was sent.
        DeuxStationsSurCable banc;
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

    void receptionAbandonnee()
    {
        DeuxStationsSurCable banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        // Part 1 of 3 and then nothing: the reception is given up, and its memory with it.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame(partie(1, 3, QByteArray(1024, 'y'))));
        banc.plateforme.avancer(100);
        QCOMPARE(b.TailleReceptionEnCours(), 1024);
        banc.plateforme.avancer(60'000);
        QVERIFY(banc.b.informations.contains("Données incomplètes. Arrêt de la réception"));
        QCOMPARE(b.TailleReceptionEnCours(), 0);

        // So does a lost line.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame(partie(1, 3, QByteArray(1024, 'z'))));
        banc.plateforme.avancer(100);
        b.FrmComm->PortEvent_Lecture("\r\nNO CARRIER\r\n");
        QCOMPARE(b.TailleReceptionEnCours(), 0);
    }
};

QTEST_GUILESS_MAIN(TstReceptionFichier)
#include "tst_reception_fichier.moc"
