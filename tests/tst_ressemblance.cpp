// A file that resembles one already exchanged crosses as its difference between two of our
// stations that both keep a memory; otherwise it crosses alone, or the way it always did.
#include "link/MemoireFichiers.h"
#include "link/shared/Decodeur.h"
#include "link/shared/Encodeur.h"
#include "link/shared/TramesEtendues.h"
#include "securite/CleStation.h"
#include "tests/support/DeuxStationsSurCable.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QtTest>

namespace TE = TramesEtendues;

namespace {
// A day's sensor readings; the next day changes one row in fifty and appends one in a hundred.
QByteArray releve(int lignes, bool lendemain, unsigned graine = 11)
{
    QRandomGenerator g(graine);
    QRandomGenerator change(graine + 1);
    QByteArray csv = "horodatage;capteur;temperature;humidite;pression\n";
    const int total = lendemain ? lignes + lignes / 100 : lignes;
    for (int i = 0; i < total; ++i) {
        QRandomGenerator &r = lendemain && (i >= lignes || change.bounded(50) == 0) ? change : g;
        csv += "2026-12-01T" + QByteArray::number(i / 60 % 24).rightJustified(2, '0') + ':' + QByteArray::number(i % 60).rightJustified(2, '0')
            + ";capteur-" + QByteArray::number(i % 12) + ';' + QByteArray::number(15 + r.bounded(1000) / 100.0, 'f', 2) + ';'
            + QByteArray::number(40 + r.bounded(300) / 10.0, 'f', 1) + ';' + QByteArray::number(1000 + r.bounded(400) / 10.0, 'f', 1) + '\n';
        if (lendemain && i < lignes && &r == &change)
            g.bounded(1000), g.bounded(300), g.bounded(400); // the same draws, so the other rows stay
    }
    return csv;
}

// A daily report of the same shape, other figures.
QByteArray rapport(int n)
{
    QRandomGenerator r(1000 + n);
    QByteArray t = "RAPPORT JOURNALIER\nDate : 2026-11-" + QByteArray::number(1 + n % 28) + "\n\nCapteur   Min    Max    Alarmes\n";
    for (int c = 0; t.size() < 1900; ++c)
        t += "POMPE-" + QByteArray::number(c).rightJustified(2, '0') + "   " + QByteArray::number(10 + r.bounded(500) / 10.0, 'f', 1).leftJustified(7)
            + QByteArray::number(60 + r.bounded(500) / 10.0, 'f', 1).leftJustified(7) + QByteArray::number(r.bounded(4)) + "\n";
    return t;
}

QString echanges(const StationSimulee &s)
{
    return s.chemin("Travail/Port 1/Echanges");
}

QString sha(const QByteArray &octets)
{
    return QString::fromLatin1(QCryptographicHash::hash(octets, QCryptographicHash::Sha256).toHex());
}
}

class TstRessemblance : public QObject
{
    Q_OBJECT

private slots:
    void deuxiemeFichier_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::addColumn<QString>("second");    // its name
        QTest::addColumn<QString>("route");     // what A's journal says of it; empty: not coded
        QTest::addColumn<QString>("ditAilleurs"); // said once by either station
        QTest::addColumn<int>("lignes");          // of the CSV file: beyond a few thousand, its difference goes in slices
        QTest::newRow("même nom, changé") << "" << "RELEVE.CSV" << "différence de RELEVE.CSV d'aujourd'hui" << "" << 600;
        QTest::newRow("même nom, inchangé") << "inchange" << "RELEVE.CSV" << "différence de RELEVE.CSV" << "" << 600;
        QTest::newRow("autre nom, même genre") << "" << "RELEVE2.CSV" << "différence de RELEVE.CSV" << "" << 600;
        QTest::newRow("sans rapport") << "aleatoire" << "DONNEES.BIN" << "sans compression" << "" << 600;
        QTest::newRow("référence évincée chez le destinataire") << "evincee" << "RELEVE.CSV" << "compressé seul" << "n'a pas la référence" << 600;
        QTest::newRow("référence évincée, différence en tranches") << "evincee" << "RELEVE.CSV" << "compressé seul" << "n'a pas la référence" << 30'000;
        QTest::newRow("référence abîmée sur son disque") << "abimee" << "RELEVE.CSV" << "compressé seul" << "vient sans sa référence" << 600;
        QTest::newRow("mémoire coupée chez l'expéditeur") << "A sans memoire" << "RELEVE.CSV" << "" << "" << 600;
        QTest::newRow("mémoire coupée chez le destinataire, ou notre version précédente") << "B sans memoire" << "RELEVE.CSV" << "" << "" << 600;
        QTest::newRow("poste ancien") << "ancien" << "RELEVE.CSV" << "" << "Protocole d'origine" << 600;
        QTest::newRow("l'expéditeur redémarre entre les deux") << "redemarre A" << "RELEVE.CSV" << "différence de RELEVE.CSV" << "" << 600;
        QTest::newRow("le destinataire redémarre entre les deux") << "redemarre B" << "RELEVE.CSV" << "différence de RELEVE.CSV" << "" << 600;
        QTest::newRow("liaison scellée") << "scellee" << "RELEVE.CSV" << "différence de RELEVE.CSV" << "Liaison chiffrée" << 600;
    }

    void deuxiemeFichier()
    {
        QFETCH(QString, cas);
        QFETCH(QString, second);
        QFETCH(QString, route);
        QFETCH(QString, ditAilleurs);
        QFETCH(int, lignes);
        DeuxStationsSurCable t;
        QByteArray clesA = cas == "A sans memoire" ? "MemoireFichiers=0\n" : cas == "ancien" ? "" : "";
        QByteArray clesB = cas == "B sans memoire" ? "MemoireFichiers=0\n" : cas == "ancien" ? "ProtocoleEtendu=0\n" : "";
        if (cas == "scellee") {
            QString erreur;
            const auto cle = [&](StationSimulee &p) { return CleStation::charger(t.disque, p.dossier.path(), "Port 1", erreur)->publique().toLatin1(); };
            clesA += "CleDistante=" + cle(t.b) + "\n";
            clesB += "CleDistante=" + cle(t.a) + "\n";
        }
        t.demarrer(clesA, clesB);
        t.reconnaitre();
        if (cas == "scellee")
            t.plateforme.avancer(10'000);
        const QByteArray premier = releve(lignes, false);
        ecrireFichier(t.a.chemin("envoi/RELEVE.CSV"), premier);
        QVERIFY(t.a.poste->EnvoyerFichier(t.a.chemin("envoi/RELEVE.CSV")));
        QFile::remove(t.a.chemin("envoi/RELEVE.CSV"));
        QVERIFY(QFile::remove(t.b.chemin("recus/RELEVE.CSV"))); // taken by its user

        const QByteArray contenu = cas == "aleatoire" ? aleatoire(20'000) : cas == "inchange" ? premier : releve(lignes, true);
        const QString cheminB = echanges(t.b) + "/" + sha(premier);
        if (cas == "evincee")
            QVERIFY(QFile::remove(cheminB));
        if (cas == "abimee") {
            QFile f(cheminB);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(100) && f.write("#") == 1);
        }
        for (StationSimulee *s : {&t.a, &t.b}) {
            if (cas != QStringLiteral("redemarre ") + (s == &t.a ? "A" : "B"))
                continue;
            s->poste.reset();
            s->creerConfiguree(s == &t.a ? QStringLiteral("COM1:") : QStringLiteral("COM2:"), s == &t.a ? "PosteAppellant=-1\n" : "");
            s->poste->AttacherMinuterie();
            s->poste->FrmComm->Connecter();
            t.reconnaitre();
        }
        if (cas == "inchange") {
            // Within the hour, the same file again is taken for one whose acknowledgement was lost.
            t.plateforme.avancer(2 * 3600'000);
            t.reconnaitre();
        }
        t.a.informations.clear();
        t.b.trames.clear();
        ecrireFichier(t.a.chemin("envoi/" + second), contenu);
        QVERIFY(t.a.poste->EnvoyerFichier(t.a.chemin("envoi/" + second)));
        QCOMPARE(lireFichier(t.b.chemin("recus/" + second)), contenu);

        const QStringList bilans = t.a.informations.filter(" sur la ligne pour ");
        if (route.isEmpty()) {
            QCOMPARE(bilans, QStringList());
            QVERIFY(std::none_of(t.b.trames.begin(), t.b.trames.end(), [](const QByteArray &tr) { return tr.startsWith(TE::OffreCodee); }));
        } else {
            QVERIFY2(bilans.size() == 1 && bilans.first().contains(route), qPrintable(t.a.informations.join('\n')));
        }
        if (lignes > 600) // the other side lacked its reference at the offer of a difference too large to come along
            QVERIFY(std::any_of(t.b.trames.begin(), t.b.trames.end(), [](const QByteArray &tr) {
                return tr.startsWith(TE::OffreCodee) && tr.contains(" diff ") && !tr.contains('\0');
            }));
        if (cas == "ancien")
            QVERIFY(std::none_of(t.b.trames.begin(), t.b.trames.end(), [](const QByteArray &tr) { return tr.startsWith("XF") || tr.startsWith("XR"); }));
        if (!ditAilleurs.isEmpty())
            QCOMPARE(t.a.informations.filter(ditAilleurs).size() + t.b.informations.filter(ditAilleurs).size(), 1);
        // A damaged copy is never used again: the memory holds the files it vouches for, each intact.
        for (const QString &nom : QDir(echanges(t.b)).entryList(QDir::Files))
            if (nom.size() == 64)
                QCOMPARE(sha(lireFichier(echanges(t.b) + "/" + nom)), nom);
    }

    void tablesDuGenre_data()
    {
        QTest::addColumn<bool>("evincees"); // from the receiver's memory, once sent
        QTest::newRow("apprises au neuvième rapport, envoyées une fois, puis utilisées") << false;
        QTest::newRow("évincées chez le destinataire : un fichier passe sans, puis elles repartent") << true;
    }

    void tablesDuGenre()
    {
        QFETCH(bool, evincees);
        DeuxStationsSurCable t;
        t.demarrer({}, {});
        t.reconnaitre();
        QStringList routes, ditParA, ditParB;
        for (int n = 0; n < 11; ++n) {
            const QString nom = QStringLiteral("RAPPORT%1.TXT").arg(n);
            ditParA += std::exchange(t.a.informations, {});
            ditParB += std::exchange(t.b.informations, {});
            t.b.trames.clear();
            ecrireFichier(t.a.chemin("envoi/" + nom), rapport(n));
            QVERIFY(t.a.poste->EnvoyerFichier(t.a.chemin("envoi/" + nom)));
            QCOMPARE(lireFichier(t.b.chemin("recus/" + nom)), rapport(n));
            const auto offre = std::find_if(t.b.trames.rbegin(), t.b.trames.rend(), [](const QByteArray &tr) { return tr.startsWith(TE::OffreCodee); });
            QVERIFY(offre != t.b.trames.rend());
            routes << (offre->contains(" tables ") ? "tables" : offre->contains(" diff ") ? "diff" : "seul");
            if (evincees && n == 8) {
                const auto tenues = MemoireFichiers(t.disque, echanges(t.b), 1 << 20, {}).tables("X.TXT");
                QVERIFY(tenues);
                QVERIFY(QFile::remove(echanges(t.b) + "/" + tenues->sha256));
            }
        }
        // Eight reports held: the ninth teaches the tables; each later one crosses with them,
        // but the one that found them gone from the other side.
        ditParA += t.a.informations;
        ditParB += t.b.informations;
        const QStringList attendues = evincees ? QStringList{"tables", "seul", "tables"} : QStringList{"tables", "tables", "tables"};
        QCOMPARE(routes.mid(8), attendues);
        QCOMPARE(ditParA.filter("Tables de codage des fichiers .TXT envoyées").size(), evincees ? 2 : 1);
        QCOMPARE(ditParB.filter("Tables de codage des fichiers .TXT reçues").size(), evincees ? 2 : 1);
        QCOMPARE(ditParA.filter("n'a pas la référence").size(), evincees ? 1 : 0);
    }

    void memoire_data()
    {
        QTest::addColumn<QString>("cas");
        QTest::addColumn<QStringList>("gardes"); // of the files a, b, c kept in that order
        QTest::newRow("tout tient") << "" << QStringList{"a", "b", "c"};
        QTest::newRow("au-delà du plafond, les plus anciens sortent") << "plafond" << QStringList{"b", "c"};
        QTest::newRow("la clé du poste distant change : tout est oublié") << "cle" << QStringList{};
        QTest::newRow("une copie abîmée est oubliée à sa relecture") << "abimee" << QStringList{"a", "c"};
        QTest::newRow("coupée") << "coupee" << QStringList{};
        QTest::newRow("une copie laissée par un arrêt est effacée, pas une copie en cours") << "provisoires" << QStringList{"a", "b", "c"};
    }

    void memoire()
    {
        QFETCH(QString, cas);
        QFETCH(QStringList, gardes);
        QTemporaryDir dossier;
        DisqueSimule disque;
        const QString ici = dossier.filePath("Echanges");
        {
            MemoireFichiers m(disque, ici, cas == "plafond" ? 2500 : cas == "coupee" ? 0 : 1 << 20, "cle1");
            for (const char *nom : {"a", "b", "c"}) {
                const QByteArray contenu = QByteArray(1000, *nom);
                ecrireFichier(dossier.filePath(nom), contenu);
                ErreurDisque erreur;
                QVERIFY(m.retenir(dossier.filePath(nom), {sha(contenu).toLatin1(), 1000, nom, {}}, erreur));
            }
            QCOMPARE(QFileInfo(ici).exists(), cas != "coupee");
            if (cas != "coupee")
                QCOMPARE(QFileInfo(ici).permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), QFileDevice::Permissions());
        }
        if (cas == "abimee") {
            QFile f(ici + "/" + sha(QByteArray(1000, 'b')));
            QVERIFY(f.open(QIODevice::ReadWrite) && f.write("x") == 1);
        }
        const QString laissee = ici + "/.navette-abc123.tmp", enCours = ici + "/.navette-def456.tmp";
        if (cas == "provisoires") {
            for (const QString &f : {laissee, enCours})
                ecrireFichier(f, "copie");
            QFile vieille(laissee);
            QVERIFY(vieille.open(QIODevice::ReadWrite)
                    && vieille.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-2 * 3600), QFileDevice::FileModificationTime));
        }
        MemoireFichiers m(disque, ici, 1 << 20, cas == "cle" ? "cle2" : "cle1");
        if (cas == "provisoires") {
            // The leftovers go when a copy is next made.
            ecrireFichier(dossier.filePath("d"), QByteArray(1000, 'd'));
            ErreurDisque erreur;
            QVERIFY(m.retenir(dossier.filePath("d"), {sha(QByteArray(1000, 'd')).toLatin1(), 1000, "d", {}}, erreur));
            QVERIFY(!QFileInfo::exists(laissee));
            QVERIFY(QFileInfo::exists(enCours));
            m.oublier(sha(QByteArray(1000, 'd')).toLatin1());
        }
        QStringList tenus;
        for (const char *nom : {"a", "b", "c"})
            if (m.tient(sha(QByteArray(1000, *nom)).toLatin1()) == true)
                tenus << nom;
        QCOMPARE(tenus, gardes);
        // What the index no longer names is gone from the disk too.
        QCOMPARE(QDir(ici).entryList(QDir::Files).filter(QRegularExpression("^[0-9a-f]{64}$")).size(), gardes.size());
    }

    void decodageHostile_data()
    {
        // What crossed is checked by its SHA-256 before it is decoded; these are the frames of
        // a sender that means harm, or of a bug: never more than the file announced, never a crash.
        QTest::addColumn<int>("methode");
        QTest::addColumn<QString>("abime");
        using M = MethodeCodage::Methode;
        for (const M m : {M::Zstd, M::Xz, M::Bzip2, M::Difference, M::Tables}) {
            const QByteArray nom = MethodeCodage::nom(m);
            for (const char *abime : {"intact", "coupé", "un octet changé", "fichier annoncé plus petit", "octets en trop"})
                QTest::addRow("%s, %s", nom.constData(), abime) << int(m) << QString(abime);
        }
        QTest::newRow("tables, les tables du destinataire abîmées") << int(M::Tables) << "tables abîmées";
    }

    void decodageHostile()
    {
        QFETCH(int, methode);
        QFETCH(QString, abime);
        QTemporaryDir dossier;
        const QByteArray reference = releve(600, false), contenu = releve(600, true);
        ecrireFichier(dossier.filePath("reference"), reference);
        ecrireFichier(dossier.filePath("fichier"), contenu);
        const auto m = MethodeCodage::Methode(methode);
        ecrireFichier(dossier.filePath("echantillon"), releve(300, true, 12));
        ecrireFichier(dossier.filePath("tables"), Encodeur::tables({dossier.filePath("reference")}, {dossier.filePath("echantillon")}));
        const QStringList references = m == MethodeCodage::Methode::Difference ? QStringList{dossier.filePath("reference")}
                                       : m == MethodeCodage::Methode::Tables   ? QStringList{dossier.filePath("tables"), dossier.filePath("reference")}
                                                                               : QStringList();
        Encodeur e(m, dossier.filePath("fichier"), dossier.filePath("charge"), references);
        while (e.etape()) {
        }
        QVERIFY2(e.reussi(), qPrintable(e.erreur()));
        QByteArray charge = lireFichier(dossier.filePath("charge"));
        QCOMPARE(charge.size(), e.taille());
        if (abime == "coupé")
            charge.chop(charge.size() / 3);
        if (abime == "un octet changé")
            charge[charge.size() / 2] = char(charge[charge.size() / 2] ^ 0x20);
        if (abime == "octets en trop")
            charge += "encore";
        if (abime == "tables abîmées") {
            QByteArray tables = lireFichier(dossier.filePath("tables"));
            QVERIFY(tables.size() > 64);
            tables[40] = char(tables[40] ^ 0x55);
            ecrireFichier(dossier.filePath("tables"), tables);
        }
        ecrireFichier(dossier.filePath("charge"), charge);
        const qint64 annonce = abime == "fichier annoncé plus petit" ? contenu.size() / 2 : contenu.size();
        QByteArray sortie;
        Decodeur d(m, dossier.filePath("charge"), annonce, [&](const char *o, qint64 n) { return sortie.append(o, n), true; }, references);
        while (d.etape())
            QVERIFY(sortie.size() <= annonce);
        QVERIFY(sortie.size() <= annonce);
        if (abime == "intact" || (abime == "octets en trop" && !MethodeCodage::contreReferences(m) && m != MethodeCodage::Methode::Zstd)) {
            // xz and bzip2 end at their stream's end: bytes behind it are not theirs to read.
            QVERIFY2(d.reussi(), qPrintable(d.erreur()));
            QCOMPARE(sortie, contenu);
        } else {
            QVERIFY(!d.reussi() || sortie != contenu);
        }
    }
};

QTEST_GUILESS_MAIN(TstRessemblance)
#include "tst_ressemblance.moc"
