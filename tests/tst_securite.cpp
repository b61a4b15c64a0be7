// The handshake against the published vectors and an independent implementation, the sealed
// frames, and the station's key on disk.
#include "platform/production/DisqueLocal.h"
#include "tests/support/DisqueSimule.h"
#include "tests/support/StationSimulee.h"
#include "securite/CanalChiffre.h"
#include "securite/CleStation.h"
#include "securite/Noise.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QByteArray hex(const QJsonValue &v)
{
    return QByteArray::fromHex(v.toString().toLatin1());
}

// The published vectors (Noise's "cacophony" file, as noise-c ships it), our pattern's entry.
QJsonObject vecteurKK()
{
    QFile f(QStringLiteral(NAVETTE_DONNEES "/noise-25519-chachapoly.json"));
    f.open(QIODevice::ReadOnly);
    for (const QJsonValue v : QJsonDocument::fromJson(f.readAll())["vectors"].toArray())
        if (v["name"].toString() == QLatin1String(Noise::nomProtocole))
            return v.toObject();
    return {};
}

struct Paire
{
    std::unique_ptr<CanalChiffre> initiateur, responsable;
};

Paire poigneeDeMain(const QByteArray &prologueI = "p", const QByteArray &prologueR = "p")
{
    const auto i = Noise::PaireDeCles::tirer(), r = Noise::PaireDeCles::tirer();
    Noise::PoigneeDeMainKK hi(true, prologueI, i, r.publique), hr(false, prologueR, r, i.publique);
    const auto m1 = hi.ecrire();
    const auto m2 = hr.lire(*m1) ? hr.ecrire() : std::nullopt;
    if (!m2 || !hi.lire(*m2))
        return {};
    return {std::make_unique<CanalChiffre>(hi.envoi(), hi.reception(), r.publique),
            std::make_unique<CanalChiffre>(hr.envoi(), hr.reception(), i.publique)};
}
}

class TstSecurite : public QObject
{
    Q_OBJECT

private slots:
    void vecteursPublies()
    {
        const QJsonObject v = vecteurKK();
        QVERIFY(!v.isEmpty());
        const auto si = Noise::PaireDeCles::depuisPrivee(hex(v["init_static"])), sr = Noise::PaireDeCles::depuisPrivee(hex(v["resp_static"]));
        Noise::PoigneeDeMainKK i(true, hex(v["init_prologue"]), *si, sr->publique, Noise::PaireDeCles::depuisPrivee(hex(v["init_ephemeral"])));
        Noise::PoigneeDeMainKK r(false, hex(v["resp_prologue"]), *sr, si->publique, Noise::PaireDeCles::depuisPrivee(hex(v["resp_ephemeral"])));
        const QJsonArray messages = v["messages"].toArray();
        QCOMPARE(*i.ecrire(hex(messages[0]["payload"])), hex(messages[0]["ciphertext"]));
        QCOMPARE(*r.lire(hex(messages[0]["ciphertext"])), hex(messages[0]["payload"]));
        QCOMPARE(*r.ecrire(hex(messages[1]["payload"])), hex(messages[1]["ciphertext"]));
        QCOMPARE(*i.lire(hex(messages[1]["ciphertext"])), hex(messages[1]["payload"]));
        QVERIFY(i.terminee() && r.terminee());
        QCOMPARE(i.empreinteTranscript(), r.empreinteTranscript());
        // Then each direction with its own key, its counter from 0.
        const Noise::EtatChiffrement iVersR = i.envoi(), rVersI = r.envoi();
        quint64 n[2] = {0, 0};
        for (int k = 2; k < messages.size(); ++k) {
            const bool deI = k % 2 == 0;
            const quint64 nonce = n[deI ? 0 : 1]++;
            QCOMPARE((deI ? iVersR : rVersI).chiffrer(nonce, {}, hex(messages[k]["payload"])), hex(messages[k]["ciphertext"]));
        }
    }

    void poigneeDeMainRefusee_data()
    {
        QTest::addColumn<bool>("mauvaiseCle");
        QTest::addColumn<QByteArray>("prologueR");
        QTest::addColumn<int>("octetAbime"); // of the first message; -1: none
        QTest::newRow("mauvaise clé") << true << QByteArray("p") << -1;
        QTest::newRow("ce que l'autre a montré diffère") << false << QByteArray("q") << -1;
        QTest::newRow("éphémère abîmée") << false << QByteArray("p") << 3;
        QTest::newRow("tag abîmé") << false << QByteArray("p") << 40;
    }

    void poigneeDeMainRefusee()
    {
        QFETCH(bool, mauvaiseCle);
        QFETCH(QByteArray, prologueR);
        QFETCH(int, octetAbime);
        const auto i = Noise::PaireDeCles::tirer(), r = Noise::PaireDeCles::tirer(), autre = Noise::PaireDeCles::tirer();
        Noise::PoigneeDeMainKK hi(true, "p", mauvaiseCle ? autre : i, r.publique), hr(false, prologueR, r, i.publique);
        QByteArray m1 = *hi.ecrire();
        if (octetAbime >= 0)
            m1[octetAbime] = char(m1[octetAbime] ^ 0x20);
        QVERIFY(!hr.lire(m1));
        QVERIFY(!hr.ecrire()); // nothing more from a failed handshake
    }

    void autreImplementation()
    {
        const auto i = Noise::PaireDeCles::tirer(), r = Noise::PaireDeCles::tirer();
        const QByteArray prologue = "NAVETTE KK1\nOUI ETENDU1 P3968\nOUI ETENDU1 P3968 R0ABCDEF0123456789";
        QProcess python;
        python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(NAVETTE_DONNEES "/../noise_autre_cote.py"), r.privee.toHex(),
                                                          i.publique.toHex(), prologue.toHex()});
        QVERIFY(python.waitForStarted());
        const auto ligne = [&] {
            while (!python.canReadLine() && python.waitForReadyRead(10000)) {
            }
            return QByteArray::fromHex(python.readLine().trimmed());
        };
        Noise::PoigneeDeMainKK hi(true, prologue, i, r.publique);
        python.write(hi.ecrire()->toHex() + '\n');
        QVERIFY2(hi.lire(ligne()), python.readAllStandardError().constData());
        CanalChiffre canal(hi.envoi(), hi.reception(), r.publique);
        quint32 n = 0;
        for (const QByteArray &texte : {QByteArray("YAQUELQUUN?"), QByteArray(3968, 'x')}) {
            python.write(canal.sceller(texte)->mid(2).toHex() + '\n'); // its counter is implicit
            QByteArray trame(2, '\0');
            qToBigEndian(quint16(n++), trame.data());
            QCOMPARE(canal.ouvrir(trame + ligne()), std::optional<QByteArray>("recu:" + texte));
        }
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(10000));
        QCOMPARE(python.exitCode(), 0);
    }

    void tramesRefusees_data()
    {
        QTest::addColumn<QString>("cas");
        for (const char *cas : {"rejouée", "dans le désordre", "un octet changé", "coupée", "compteur changé", "autre liaison"})
            QTest::newRow(cas) << QString::fromUtf8(cas);
    }

    void tramesRefusees()
    {
        QFETCH(QString, cas);
        Paire p = poigneeDeMain(), autre = poigneeDeMain();
        const QByteArray t1 = *p.initiateur->sceller("FICHIER"), t2 = *p.initiateur->sceller("RECEPFICHIER abc");
        QByteArray mauvaise = t2;
        bool premiereLue = true;
        if (cas == "rejouée") {
            QVERIFY(p.responsable->ouvrir(t2));
            mauvaise = t2;
            premiereLue = false;
        } else if (cas == "dans le désordre") {
            QVERIFY(p.responsable->ouvrir(t2));
            mauvaise = t1;
            premiereLue = false;
        } else if (cas == "un octet changé") {
            mauvaise[10] = char(mauvaise[10] ^ 1);
        } else if (cas == "coupée") {
            mauvaise.chop(1);
        } else if (cas == "compteur changé") {
            mauvaise[1] = char(mauvaise[1] + 1);
        } else {
            mauvaise = *autre.initiateur->sceller("RECEPFICHIER abc");
        }
        if (premiereLue)
            QCOMPARE(p.responsable->ouvrir(t1), std::optional<QByteArray>("FICHIER"));
        QVERIFY(!p.responsable->ouvrir(mauvaise));
        QCOMPARE(p.responsable->refusees(), 1u);
        // Frames lost to noise only skip counters, across the wrap of the 16 bits on the wire too.
        for (const int perdues : {65'000, 1'000}) {
            for (int i = 0; i < perdues; ++i)
                p.initiateur->sceller("perdue");
            QCOMPARE(p.responsable->ouvrir(*p.initiateur->sceller("XFA0-512")), std::optional<QByteArray>("XFA0-512"));
        }
        // Each direction its own key: our own frame does not open on our side.
        QVERIFY(!p.initiateur->ouvrir(*p.initiateur->sceller("STOP")));
    }

    void cleDuPoste()
    {
        QTemporaryDir dossier;
        DisqueLocal disque;
        QString erreur;
        const auto a = CleStation::charger(disque, dossier.path(), "Port 1", erreur);
        const auto b = CleStation::charger(disque, dossier.path(), "Poste/B", erreur);
        QVERIFY2(a && b, qPrintable(erreur));
        QVERIFY(a->paire().publique != b->paire().publique); // one key per station, not per folder
        const QString fichier = CleStation::chemin(dossier.path(), "Port 1");
        struct stat etat{};
        QCOMPARE(::stat(QFile::encodeName(fichier).constData(), &etat), 0);
        QCOMPARE(etat.st_mode & 0777, 0600u);
        // Read back, the same key; its text reads back to it; the fingerprint is short.
        QCOMPARE(CleStation::charger(disque, dossier.path(), "Port 1", erreur)->paire().publique, a->paire().publique);
        QCOMPARE(CleStation::lire(a->publique()), std::optional(a->paire().publique));
        QVERIFY(QRegularExpression("^[0-9A-F]{4}-[0-9A-F]{4}$").match(CleStation::empreinte(a->paire().publique)).hasMatch());
        // Readable by others: refused, with the way out.
        ::chmod(QFile::encodeName(fichier).constData(), 0644);
        QVERIFY(!CleStation::charger(disque, dossier.path(), "Port 1", erreur));
        QVERIFY(erreur.contains("chmod 600"));
    }

    void rootNeSuitAucunLien_data()
    {
        // `navette --cle` run by root for a service, in a folder the service user owns and
        // prepares as an attacker would: before it starts, or between two of its steps.
        QTest::addColumn<QString>("lien");    // what is replaced by a link to root's folder or file
        QTest::addColumn<bool>("pendant");    // after the folder's checks, just before the key is made
        QTest::addColumn<QString>("refus");   // said; empty: the key is made, the owner's
        QTest::newRow("aucun lien") << "" << false << "";
        QTest::newRow("dossier des clés, avant") << "Clés" << false << "lien symbolique";
        QTest::newRow("clé, avant") << "Clés/Port%20A.cle" << false << "lien symbolique";
        QTest::newRow("dossier des clés, pendant") << "Clés" << true << "impossible";
        QTest::newRow("clé, pendant") << "Clés/Port%20A.cle" << true << "lien symbolique";
    }

    void rootNeSuitAucunLien()
    {
        QFETCH(QString, lien);
        QFETCH(bool, pendant);
        QFETCH(QString, refus);
        if (::geteuid() != 0)
            QSKIP("Il faut être root pour jouer root face à un lien planté.");
        constexpr uid_t service = 65534;
        QTemporaryDir base;
        ::chmod(QFile::encodeName(base.path()).constData(), 0755);
        const QString conf = base.filePath("conf"), cible = base.filePath("cible");
        QVERIFY(QDir().mkpath(conf + "/Clés") && QDir().mkpath(cible));
        ecrireFichier(cible + "/passwd", "root:x:0:0");
        for (const QString &c : {conf, conf + "/Clés"})
            QCOMPARE(::chown(QFile::encodeName(c).constData(), service, service), 0);
        const QString place = conf + "/" + lien;
        const auto planter = [&] {
            if (lien == "Clés")
                QDir(place).removeRecursively();
            QFile::link(lien == "Clés" ? cible : cible + "/passwd", place);
        };
        if (!lien.isEmpty() && !pendant)
            planter();
        int tube[2];
        QCOMPARE(::pipe(tube), 0);
        const pid_t enfant = ::fork();
        if (enfant == 0) {
            // Root's identity goes for good in here: a child of its own.
            DisqueSimule disque;
            if (pendant)
                disque.avantCreation = [&](const QString &) { planter(); };
            QString erreur;
            const bool cle = CleStation::chargerPourLePoste(disque, conf, "Port A", erreur).has_value();
            const QByteArray dit = erreur.toUtf8();
            (void)!::write(tube[1], dit.constData(), size_t(dit.size()));
            ::_exit(cle ? 0 : 1);
        }
        ::close(tube[1]);
        QFile lu;
        lu.open(tube[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
        const QString erreur = QString::fromUtf8(lu.readAll());
        int statut = 0;
        ::waitpid(enfant, &statut, 0);
        QVERIFY2(WIFEXITED(statut) && (WEXITSTATUS(statut) == 0) == refus.isEmpty(), qPrintable(erreur));
        QVERIFY2(erreur.contains(refus), qPrintable(erreur));
        // Root's folder and file are as they were, and nothing landed there.
        struct stat etat{};
        QCOMPARE(::stat(QFile::encodeName(cible).constData(), &etat), 0);
        QVERIFY(etat.st_uid == 0 && (etat.st_mode & 07777) == 0755);
        QCOMPARE(::stat(QFile::encodeName(cible + "/passwd").constData(), &etat), 0);
        QVERIFY(etat.st_uid == 0 && (etat.st_mode & 07777) == 0644);
        QCOMPARE(QDir(cible).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"passwd"});
        QCOMPARE(lireFichier(cible + "/passwd"), QByteArray("root:x:0:0"));
        if (refus.isEmpty()) {
            QCOMPARE(::lstat(QFile::encodeName(CleStation::chemin(conf, "Port A")).constData(), &etat), 0);
            QVERIFY(etat.st_uid == service && (etat.st_mode & 07777) == 0600);
        }
    }

    void cleDistanteIllisible_data()
    {
        QTest::addColumn<QString>("texte");
        QTest::newRow("vide") << "";
        QTest::newRow("trop courte") << QString::fromLatin1(QByteArray(31, 'a').toBase64());
        QTest::newRow("trop longue") << QString::fromLatin1(QByteArray(33, 'a').toBase64());
        QTest::newRow("pas du base64") << "!!!!AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
    }

    void cleDistanteIllisible()
    {
        QFETCH(QString, texte);
        QVERIFY(!CleStation::lire(texte));
    }
};

QTEST_GUILESS_MAIN(TstSecurite)
#include "tst_securite.moc"
