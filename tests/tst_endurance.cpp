// Hours of a noisy, dropping telephone line in virtual time: two whole stations exchange a
// few hundred files of every size, and every file must arrive intact exactly once.
#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Dezipper.h"
#include "platform/Windows1252.h"
#include "tests/support/DeuxApplications.h"
#include "tests/support/BancModems.h"
#include "tests/support/BilanLivraisons.h"
#include "tests/support/PosteSimule.h"
#include "tests/support/SurveillanceDossierSimulee.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <random>

namespace {
// Emulated modems with byte noise, the carrier lost every 90 s.
struct ModemsBruyants : BancModems
{
    static ReglagesModem appelant(quint32 graine) { return {.vitesse = 115200, .coupureApresMs = 90'000, .bruit = 1e-4, .graine = graine}; }
    static ReglagesModem appele(quint32 graine) { return {.vitesse = 115200, .bruit = 1e-4, .graine = graine + 1}; }
    explicit ModemsBruyants(quint32 graine) : BancModems(appelant(graine), appele(graine)) {}
};

// Written elsewhere, then moved in whole, as a careful user does.
void deposer(ApplicationSimulee &app, const QString &nom, const QByteArray &contenu)
{
    const QString brouillon = app.chemin(nom);
    ecrireFichier(brouillon, contenu);
    QVERIFY(QFile::rename(brouillon, app.poste().CheminFichiersAEnvoyer + "/" + nom));
}

// Two whole stations on that line.
struct LigneDifficile : DeuxApplications
{
    explicit LigneDifficile(quint32 graine) : DeuxApplications(ModemsBruyants::appelant(graine), ModemsBruyants::appele(graine))
    {
        demarrer();
    }
};

// A receiver of the original design on COM2: it appends every part whose key is right,
// knows no repeat, and remembers nothing. Like ours, it acknowledges only an archive that
// opens: the part key misses some damage, and a receiver that stored an archive unopened
// would keep those files damaged whatever the sender does.
struct RecepteurHistorique
{
    explicit RecepteurHistorique(BancModems &banc) : plateforme(banc.plateforme), comm(banc.env())
    {
        comm.msNumPort = QStringLiteral("COM2:");
        comm.Reception.connecter([this](const QByteArray &t) {
            comm.TexteReçu_Clear();
            if (const QByteArray r = repondre(t); !r.isEmpty())
                comm.Ecrire(r);
            if (apresReponse)
                apresReponse(t);
        });
        comm.Connecter();
        comm.Ecrire("ATV1S0=1\r", "OK", 2000, false);
    }

    QByteArray repondre(const QByteArray &t)
    {
        if (t.startsWith("YAQUELQUUN?") || t.startsWith("CLK"))
            return "OUI";
        if (t.startsWith("FICHIER"))
            return "OKFICHIER";
        if (t.startsWith("RECEPFICHIER"))
            return ranger(t.mid(12)) ? "OKFICHIER" : "";
        if (!t.startsWith("RECEPGROSFIC"))
            return {};
        const qsizetype tab = t.indexOf('\t', 18);
        const QByteArray partie = t.mid(tab + 1);
        if (tab < 0 || MGlobal::CleDonnees(partie) != t.mid(18, tab - 18))
            return "ERREURPARTFIC";
        if (t.mid(12, 3) == "001")
            enCours.clear();
        // The same part again, not a part whose number the noise changed.
        repetitions += t.mid(12, 3) != "001" && t.mid(12, 3) == dernierNumero && partie == dernierePartie;
        dernierNumero = t.mid(12, 3);
        dernierePartie = partie;
        enCours += partie;
        if (t.mid(12, 3) != t.mid(15, 3))
            return "OKPARTFIC";
        return ranger(enCours.mid(12)) ? "OKFICHIER" : "";
    }

    bool ranger(const QByteArray &texte)
    {
        const int n = texte.isEmpty() ? 0 : static_cast<unsigned char>(texte[0]);
        QString nom = Windows1252::versTexte(texte.mid(1, n)).toUpper();
        QByteArray contenu = texte.mid(1 + n);
        if (nom.endsWith(".ZQZIP")) {
            nom.chop(6);
            QTemporaryDir travail;
            ecrireFichier(travail.filePath("a.zip"), contenu);
            Dezipper d;
            d.setNomArchive(travail.filePath("a.zip"));
            d.setDossierExtraction(travail.path());
            QString raison;
            d.Decompresser(&raison);
            if (!raison.isEmpty())
                return false;
            contenu = lireFichier(d.FichierExtrait());
        }
        recus.insert(nom, contenu);
        arrivees.insert(nom, plateforme.maintenantUs() / 1000);
        return true;
    }

    Plateforme &plateforme;
    std::function<void(const QByteArray &)> apresReponse;
    QHash<QString, qint64> arrivees; // ms
    FComm comm;
    QByteArray enCours;
    QByteArray dernierNumero, dernierePartie;
    int repetitions = 0;
    QMultiHash<QString, QByteArray> recus;
};

// The same older station with files of its own, scanned as that design does: every 3 s, and
// 4 + 3 s after a file reached it; a file announced stops its scanner until that file is in.
// Its files are small enough to go whole and uncompressed.
struct PosteHistorique : RecepteurHistorique
{
    explicit PosteHistorique(BancModems &banc) : RecepteurHistorique(banc)
    {
        apresReponse = [this](const QByteArray &t) {
            // Called, it tests the link 1.5 s after the connection, which the caller confirms.
            if (t.startsWith(Windows1252::depuisTexte(QStringLiteral("Connecté")))) {
                plateforme.planifier(1'500'000, [this] { comm.Ecrire("YAQUELQUUN?", "OUI", 3000); });
            } else if (t.startsWith("FICHIER")) {
                plateforme.annuler(std::exchange(prochain, 0));
                arrete = true;
            } else if (t.startsWith("RECEPFICHIER") || (t.startsWith("RECEPGROSFIC") && t.mid(12, 3) == t.mid(15, 3))) {
                arrete = false;
                armer(7000);
            }
        };
        armer(3000);
    }
    void armer(quint32 ms)
    {
        plateforme.annuler(prochain);
        prochain = plateforme.planifier(qint64(ms) * 1000, [this] {
            prochain = 0;
            balayer();
        });
    }
    void balayer()
    {
        while (!aEnvoyer.isEmpty() && !arrete) {
            const auto &[nom, contenu] = aEnvoyer.first();
            const QByteArray texte = "RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + contenu;
            if (!comm.Ecrire("FICHIER", "OKFICHIER", 3000) || !comm.Ecrire(texte, "OKFICHIER", qint32(texte.size() / 10 + 4000)))
                break;
            aEnvoyer.removeFirst();
        }
        if (!arrete)
            armer(3000);
    }
    QList<std::pair<QByteArray, QByteArray>> aEnvoyer;
    Plateforme::Identifiant prochain = 0;
    bool arrete = false;
};

// What station A writes to its modem once that modem has said "NO CARRIER": after the few
// bytes that were already on the cable, only lines of modem commands.
struct CommandesHorsLigne
{
    explicit CommandesHorsLigne(BancModems &s) : banc(s), versPoste(s.modem1->versTerminal)
    {
        s.modem1->versTerminal = [this, &s](const QByteArray &o) {
            if (o.contains("NO CARRIER")) {
                ++pertes;
                depuisUs = s.plateforme.maintenantUs();
            } else if (o.contains("CONNECT")) {
                verifier();
                depuisUs = -1;
            }
            versPoste(o);
        };
        s.cable1.b().brancher(s.modem1.get(), [this, &s](const QByteArray &o) {
            if (depuisUs >= 0 && s.plateforme.maintenantUs() - depuisUs > 50'000)
                tardifs += o;
            s.modem1->depuisTerminal(o);
        });
    }
    // The stations may outlive this spy: the modem gets its own cable back.
    ~CommandesHorsLigne()
    {
        banc.modem1->versTerminal = versPoste;
        ModemHayes *modem = banc.modem1.get();
        banc.cable1.b().brancher(modem, [modem](const QByteArray &o) { modem->depuisTerminal(o); });
    }

    void verifier()
    {
        for (const QByteArray &ligne : tardifs.split('\r'))
            if (!ligne.isEmpty() && !ligne.toUpper().startsWith("AT") && ligne != "+++")
                fautes << QString::fromLatin1(ligne.left(40).toPercentEncoding());
        tardifs.clear();
    }
    BancModems &banc;
    std::function<void(const QByteArray &)> versPoste;
    int pertes = 0;
    qint64 depuisUs = -1;
    QByteArray tardifs;
    QStringList fautes;
};
}

class TstEndurance : public QObject
{
    Q_OBJECT

    // Four seeds by default; NAVETTE_GRAINES=1-200 tries more.
    static void graines(quint32 premiere, quint32 derniere)
    {
        QTest::addColumn<quint32>("graine");
        const QStringList bornes = qEnvironmentVariable("NAVETTE_GRAINES").split(QLatin1Char('-'));
        if (bornes.size() == 2 && bornes[0].toUInt() > 0 && bornes[1].toUInt() >= bornes[0].toUInt()) {
            premiere = bornes[0].toUInt();
            derniere = bornes[1].toUInt();
        }
        for (quint32 graine = premiere; graine <= derniere; ++graine)
            QTest::newRow(qPrintable(QStringLiteral("graine %1").arg(graine))) << graine;
    }

private slots:
    void centFichiersDansChaqueSens_data() { graines(1, 4); }

    void centFichiersDansChaqueSens()
    {
        QFETCH(quint32, graine);
        LigneDifficile s(graine);
        const CommandesHorsLigne horsLigne(s);
        std::mt19937 alea(graine);
        QList<Envoi> deA, deB;
        // Dropped over the first hour, both ways.
        for (int i = 0; i < 100; ++i) {
            for (auto [app, liste, lettre] : {std::tuple{&s.a, &deA, 'a'}, std::tuple{&s.b, &deB, 'b'}}) {
                const QString nom = QStringLiteral("%1%2.dat").arg(QLatin1Char(lettre)).arg(i, 3, 10, QLatin1Char('0'));
                liste->append({nom.toUpper(), contenuAuHasard(alea)});
                deposer(*app, nom, liste->last().contenu);
            }
            s.plateforme.avancer(std::uniform_int_distribution<int>(10'000, 60'000)(alea));
        }
        const QString recusA = s.a.chemin("Recus de A"), recusB = s.b.chemin("Recus de B");
        const QString sortieA = s.a.chemin("Envois à A"), sortieB = s.b.chemin("Envois à B");
        for (int minute = 0; minute < 240; ++minute) {
            if (QDir(sortieA).isEmpty(QDir::Files) && QDir(sortieB).isEmpty(QDir::Files))
                break;
            s.plateforme.avancer(60'000);
        }
        s.plateforme.avancer(60'000);
        for (auto [liste, recus, sortie] : {std::tuple{&deA, recusB, sortieA}, std::tuple{&deB, recusA, sortieB}}) {
            const Bilan b = bilan(*liste, arrivees(recus), sortie);
            const QString texte = b.texte();
            qInfo("%s -> %s", qPrintable(sortie), qPrintable(texte));
            QVERIFY2(b.livres + b.petitsAbimes >= 100 && b.perdus == 0 && b.abimes == 0 && b.doubles == 0 && b.enAttente == 0,
                     qPrintable(texte));
        }
        QVERIFY(horsLigne.pertes > 10);
        QVERIFY2(horsLigne.fautes.isEmpty(), qPrintable(horsLigne.fautes.join('\n')));
    }

    // A site's steady traffic: a small report dropped every second on both sides. Neither
    // direction may starve the other.
    void chargeReguliere_data()
    {
        QTest::addColumn<QByteArray>("cles");
        QTest::addColumn<int>("arriere");        // files of 100 kB A finds at once after a minute, as after an outage
        QTest::addColumn<int>("attenteMaxBS");   // the longest a file of B may wait
        QTest::newRow("protocole d'origine") << QByteArray("ProtocoleEtendu=0\n") << 0 << 30;
        QTest::newRow("protocole étendu") << QByteArray() << 0 << 30;
        // A's long scan gives way: B's files do not wait for all of it.
        QTest::newRow("protocole d'origine, arriéré chez A") << QByteArray("ProtocoleEtendu=0\n") << 12 << 50;
    }

    void chargeReguliere()
    {
        QFETCH(QByteArray, cles);
        QFETCH(int, arriere);
        QFETCH(int, attenteMaxBS);
        constexpr int secondes = 300;
        DeuxApplications s({.vitesse = 115200}, {.vitesse = 115200});
        // Each outgoing folder watched: a file moved in is whole at once, as the system says.
        QHash<ApplicationSimulee *, SurveillanceDossierSimulee *> veilles;
        for (ApplicationSimulee *app : {&s.a, &s.b})
            app->surveillanceDossier = [&veilles, &s, app] {
                auto v = std::make_unique<SurveillanceDossierSimulee>(s.plateforme);
                veilles.insert(app, v.get());
                return v;
            };
        s.b.charger("[Defaut]\nConnexion à=B\n[Port B]\nNumPort=COM2:\nPosteAppellant=0\n" + cles);
        s.a.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\nNumTelAppel=2\n" + cles, "A");
        s.b.fenetre().Form_Activate();
        s.a.fenetre().Form_Activate();
        s.plateforme.avancer(20'000);
        std::mt19937 alea(7);
        struct Sens
        {
            ApplicationSimulee *depuis;
            QString recus;
            QHash<QString, qint64> deposes; // name in capitals -> when
            QHash<QString, qint64> arrives;
        };
        Sens sens[] = {{&s.a, s.b.chemin("Recus de B"), {}, {}}, {&s.b, s.a.chemin("Recus de A"), {}, {}}};
        const auto releverArrivees = [&] {
            for (Sens &d : sens)
                for (const QString &nom : QDir(d.recus).entryList(QDir::Files))
                    if (!d.arrives.contains(nom))
                        d.arrives.insert(nom, s.plateforme.maintenantUs() / 1000);
        };
        const auto deposerReleve = [&](Sens &d, const QString &nom, int i) {
            QByteArray contenu;
            while (contenu.size() < 2048)
                contenu += QByteArray::number(alea() % 100000) + ";" + QByteArray::number(i) + ";releve\r\n";
            deposer(*d.depuis, nom, contenu.left(2048));
            if (SurveillanceDossierSimulee *v = veilles.value(d.depuis))
                v->signaler(nom, true);
            d.deposes.insert(nom.toUpper(), s.plateforme.maintenantUs() / 1000);
        };
        for (int i = 0; i < secondes; ++i) {
            for (Sens &d : sens)
                deposerReleve(d, QStringLiteral("%1%2.csv").arg(d.depuis == &s.a ? 'a' : 'b').arg(i, 3, 10, QLatin1Char('0')), i);
            for (int j = 0; i == 60 && j < arriere; ++j) {
                const QString nom = QStringLiteral("x%1.bin").arg(j, 3, 10, QLatin1Char('0'));
                deposer(s.a, nom, aleatoire(100'000, j));
                if (SurveillanceDossierSimulee *v = veilles.value(&s.a))
                    v->signaler(nom, true);
                sens[0].deposes.insert(nom.toUpper(), s.plateforme.maintenantUs() / 1000);
            }
            s.plateforme.avancer(1000);
            releverArrivees();
        }
        for (int i = 0; i < 60; ++i) {
            s.plateforme.avancer(1000);
            releverArrivees();
        }
        for (const Sens &d : sens) {
            qint64 attenteMax = 0;
            for (auto it = d.arrives.cbegin(); it != d.arrives.cend(); ++it)
                attenteMax = std::max(attenteMax, it.value() - d.deposes.value(it.key()));
            const qsizetype restants = QDir(d.depuis->poste().CheminFichiersAEnvoyer).entryList(QDir::Files).size();
            const QString texte = QStringLiteral("%1 : %2 livrés sur %3, attente la plus longue %4 s, %5 restés")
                                      .arg(d.depuis == &s.a ? "A -> B" : "B -> A")
                                      .arg(d.arrives.size())
                                      .arg(d.deposes.size())
                                      .arg(double(attenteMax) / 1000, 0, 'f', 1)
                                      .arg(restants);
            qInfo("%s", qPrintable(texte));
            const qint64 permise = d.depuis == &s.b ? attenteMaxBS * 1000 : arriere ? std::numeric_limits<qint64>::max() : 30'000;
            QVERIFY2(d.arrives.size() * 100 >= d.deposes.size() * 95 && attenteMax <= permise, qPrintable(texte));
        }
    }

    // Toward an older station, while ours streams a file every second: it scans 7 s after a file
    // reached it, and ours scans every 3 s. Its first file goes when ours leaves the line after
    // 2 minutes of sending; from then on it has its turn after every scan of ours.
    void versUnPosteHistoriqueQuiEnvoieAussi()
    {
        BancModems s({.vitesse = 115200}, {.vitesse = 115200});
        PosteHistorique b(s);
        ApplicationSimulee a(s.env());
        a.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\nNumTelAppel=2\n", "A");
        a.fenetre().Form_Activate();
        s.plateforme.avancer(20'000);
        QHash<QByteArray, qint64> deposesParB;
        QHash<QString, qint64> deposesParA;
        const QString recusA = a.chemin("Recus de A");
        QHash<QString, qint64> arriveesChezA;
        for (int i = 0; i < 300; ++i) {
            const QString nom = QStringLiteral("a%1.csv").arg(i, 3, 10, QLatin1Char('0'));
            deposer(a, nom, QByteArray(2048, char('a' + i % 26)));
            deposesParA.insert(nom.toUpper(), s.plateforme.maintenantUs() / 1000);
            if (i >= 60 && i % 30 == 0) {
                const QByteArray nomB = QStringLiteral("B%1.TXT").arg(i, 3, 10, QLatin1Char('0')).toLatin1();
                b.aEnvoyer.append({nomB, QByteArray(250, char('0' + i % 10))});
                deposesParB.insert(nomB, s.plateforme.maintenantUs() / 1000);
            }
            s.plateforme.avancer(1000);
            for (const QString &nom : QDir(recusA).entryList(QDir::Files))
                if (!arriveesChezA.contains(nom))
                    arriveesChezA.insert(nom, s.plateforme.maintenantUs() / 1000);
        }
        s.plateforme.avancer(60'000);
        for (const QString &nom : QDir(recusA).entryList(QDir::Files))
            if (!arriveesChezA.contains(nom))
                arriveesChezA.insert(nom, s.plateforme.maintenantUs() / 1000);
        qint64 attenteB = 0, attenteA = 0;
        for (auto it = deposesParB.cbegin(); it != deposesParB.cend(); ++it)
            attenteB = std::max(attenteB, arriveesChezA.value(QString::fromLatin1(it.key()), std::numeric_limits<qint64>::max() / 2) - it.value());
        for (auto it = deposesParA.cbegin(); it != deposesParA.cend(); ++it)
            attenteA = std::max(attenteA, b.arrivees.value(it.key(), std::numeric_limits<qint64>::max() / 2) - it.value());
        const QString texte = QStringLiteral("B -> A : %1 sur %2, attente la plus longue %3 s ; A -> B : %4 sur %5, %6 s")
                                  .arg(arriveesChezA.size()).arg(deposesParB.size()).arg(attenteB / 1000)
                                  .arg(b.arrivees.size()).arg(deposesParA.size()).arg(attenteA / 1000);
        qInfo("%s", qPrintable(texte));
        QVERIFY2(attenteB <= 150'000 && attenteA <= 60'000, qPrintable(texte));
    }

    void versUnRecepteurHistorique_data() { graines(5, 6); }

    void versUnRecepteurHistorique()
    {
        // Files of several parts, where a part sent twice after a lost answer would be
        // stored twice inside the file.
        QFETCH(quint32, graine);
        ModemsBruyants s(graine);
        const CommandesHorsLigne horsLigne(s);
        RecepteurHistorique b(s);
        ApplicationSimulee a(s.env());
        a.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\nNumTelAppel=2\n", "A");
        a.fenetre().Form_Activate();
        std::mt19937 alea(graine);
        QList<Envoi> envois;
        for (int i = 0; i < 60; ++i) {
            QByteArray contenu(std::uniform_int_distribution<int>(1200, 120'000)(alea), Qt::Uninitialized);
            for (char &c : contenu)
                c = char(alea());
            envois.append({QStringLiteral("H%1.BIN").arg(i, 2, 10, QLatin1Char('0')), contenu});
            deposer(a, envois.last().nom.toLower(), contenu);
            s.plateforme.avancer(std::uniform_int_distribution<int>(10'000, 60'000)(alea));
        }
        const QString sortie = a.chemin("Envois à A");
        for (int minute = 0; minute < 240 && !QDir(sortie).isEmpty(QDir::Files); ++minute)
            s.plateforme.avancer(60'000);
        const Bilan r = bilan(envois, b.recus, sortie);
        const QString texte = r.texte();
        qInfo("%s", qPrintable(texte));
        // A second whole copy comes only from a lost last "OKFICHIER": such a receiver cannot
        // recognise the file sent again, and no sender can tell it apart from a new one.
        QVERIFY2(r.livres == 60 && r.abimes == 0 && r.doubles <= 2 && r.enAttente == 0, qPrintable(texte));
        QCOMPARE(b.repetitions, 0);
        QVERIFY2(horsLigne.fautes.isEmpty(), qPrintable(horsLigne.fautes.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TstEndurance)
#include "tst_endurance.moc"
