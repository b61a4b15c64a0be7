// Two paired stations on a cable, in virtual time, against someone on the line: at each frame
// boundary of their exchange in turn, a frame of one station goes missing and something else
// comes to it instead. Whatever comes, nothing is lost, nothing acts twice, and the exchange
// goes on.
#include "link/CInterlocuteur.h"
#include "link/shared/TramesEtendues.h"
#include "securite/CleStation.h"
#include "serial/FComm.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/StationSimulee.h"

#include <QCryptographicHash>
#include <QDir>
#include <QTest>

namespace {
QByteArray trame(const QByteArray &texte)
{
    return FComm::STX + FComm::encoderEntete(texte.size()) + texte;
}

bool scellee(const QByteArray &t)
{
    return t.size() > 4 && t[4] == '\0'; // its counter's high byte, not a keyword's letter
}

// One direction of the line, cut into frames as the bytes are written: each frame is handed
// to remplacer, and what it returns goes on in its place.
class Sens
{
public:
    std::function<QByteArray(const QByteArray &)> remplacer = [](const QByteArray &t) { return t; };

    QByteArray passer(const QByteArray &octets)
    {
        QByteArray sortie;
        for (char c : octets) {
            mCourante += c;
            if (mReste < 0) {
                if (mCourante[0] != TamponTrames::STX) {
                    sortie += std::exchange(mCourante, {}); // between frames: as it is
                    continue;
                }
                if (mCourante.size() < 4)
                    continue;
                mReste = FComm::decoderEntete(mCourante.mid(1));
            } else {
                --mReste;
            }
            if (mReste == 0) {
                const QByteArray t = std::exchange(mCourante, {});
                mReste = -1;
                ++trames;
                sortie += remplacer(t);
            }
        }
        return sortie;
    }
    bool entreDeuxTrames() const { return mCourante.isEmpty(); }
    int trames = 0;

private:
    QByteArray mCourante;
    qint32 mReste = -1;
};

struct Capture
{
    QTemporaryDir cles;
    QByteArray cleA, cleB;      // the CleDistante lines
    QList<QByteArray> versA, versB; // the frames of an earlier connection of the same two stations
};
Capture *capture = nullptr;

const QByteArray fichierA = "Relevé de A;1\r\n" + QByteArray(900, 'a'), fichierB = aleatoire(11'000, 3);

// Runs action dansMs after both stations are sealed, then every intervalleMs until it says
// it went: as a user would, on a link that is up.
void repeter(DeuxStationsSurCable &s, qint64 dansMs, std::function<bool()> action, int essais = 20, qint64 intervalleMs = 500)
{
    s.plateforme.planifier(dansMs * 1000, [&s, action, essais, intervalleMs] {
        const bool scellee = s.a.lien().liaisonAutorisee() && s.b.lien().liaisonAutorisee();
        if ((!scellee || !action()) && essais > 1)
            repeter(s, intervalleMs, action, essais - 1, intervalleMs);
    });
}

// Both files at once (B's in three slices), a message each way, a clock, a role change.
// The two stations' keys, those of the earlier connection, before they load.
void donnerCles(DeuxStationsSurCable &s)
{
    for (auto [st, section] : {std::pair{&s.a, "Port A"}, std::pair{&s.b, "Port B"}}) {
        QDir().mkpath(st->chemin("Clés"));
        QFile::copy(CleStation::chemin(capture->cles.path(), section), CleStation::chemin(st->dossier.path(), section));
    }
}

void raconter(DeuxStationsSurCable &s)
{
    donnerCles(s);
    s.lancer(s.a, "A", capture->cleB + "SvrHoraire=1\nPosteAppellant=-1\n");
    s.lancer(s.b, "B", capture->cleA);
    s.plateforme.planifier(6'500'000, [&s] {
        ecrireFichier(s.a.chemin("Envois à A/dea.txt"), fichierA);
        ecrireFichier(s.b.chemin("Envois à B/deb.bin"), fichierB);
    });
    repeter(s, 7000, [&s] { return s.a.lien().EnvoyerCommande("MESSAGE=premier de A", "", 3000); }, 200);
    repeter(s, 7500, [&s] { return s.b.lien().EnvoyerCommande("MESSAGE=premier de B", "", 3000); }, 200);
    repeter(s, 8000, [&s] { return s.a.lien().TesterConnexion(true); }, 200);
    repeter(s, 20'000, [&s] { return s.b.lien().DefinirCePosteEnAppelant(); }, 200, 5000);
}

// Once the line is honest again: a file each way and a message.
void ensuite(DeuxStationsSurCable &s)
{
    ecrireFichier(s.a.chemin("Envois à A/apres.txt"), "encore de A");
    ecrireFichier(s.b.chemin("Envois à B/apres.txt"), "encore de B");
    // A link test lost with its answer leaves the two unrecognised until the next
    // supervision test, five minutes on.
    repeter(s, 1000, [&s] { return s.a.lien().EnvoyerCommande("MESSAGE=second de A", "", 3000); }, 200, 5000);
}

int boites(DeuxStationsSurCable &s, const QString &texte)
{
    return int(std::count_if(s.boites.saisies.begin(), s.boites.saisies.end(), [&](const auto &b) { return b.message.contains(texte); }));
}

int fois(StationSimulee &st, const QString &texte)
{
    return int(st.vue.lignes.filter(texte).size());
}

bool appelant(StationSimulee &st)
{
    return lireFichier(st.chemin("navette.INI")).contains("PosteAppellant=-1");
}
}

class TstLiaisonScellee : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        capture = new Capture;
        DisqueSimule disque;
        QString erreur;
        capture->cleA = "CleDistante=" + CleStation::charger(disque, capture->cles.path(), "Port A", erreur)->publique().toLatin1() + "\n";
        capture->cleB = "CleDistante=" + CleStation::charger(disque, capture->cles.path(), "Port B", erreur)->publique().toLatin1() + "\n";
        // The story once, untouched: the frames it takes, kept as an earlier connection's.
        DeuxStationsSurCable s({.bauds = 115200});
        Sens versB, versA;
        versB.remplacer = [](const QByteArray &t) { return capture->versB << t, t; };
        versA.remplacer = [](const QByteArray &t) { return capture->versA << t, t; };
        s.ligne.a().alteration = [&](const QByteArray &o) { return versB.passer(o); };
        s.ligne.b().alteration = [&](const QByteArray &o) { return versA.passer(o); };
        raconter(s);
        s.plateforme.avancer(120'000);
        QVERIFY2(fois(s.a, "Liaison chiffrée avec") >= 1, qPrintable(s.a.vue.lignes.join('\n')));
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/DEA.TXT")), fichierA);
        QCOMPARE(lireFichier(s.a.chemin("Recus de A/DEB.BIN")), fichierB);
        QVERIFY(appelant(s.b) && !appelant(s.a));
        QCOMPARE(boites(s, "premier de A"), 1);
        QCOMPARE(boites(s, "premier de B"), 1);
        qInfo("%lld trames de A, %lld de B", capture->versB.size(), capture->versA.size());
    }

    void cleanupTestCase() { delete capture; }

    // Every line command a station can send, from one that has not proved its key (B has none
    // for A): said once, never acted on.
    void rienAvantLaPreuve_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QString>("mot"); // as the information line names it
        namespace TE = TramesEtendues;
        const QByteArray nom = "INTRUS.TXT", contenu = "pour A";
        const QByteArray sha = QCryptographicHash::hash(contenu, QCryptographicHash::Sha256).toHex();
        QTest::newRow("le rôle") << QByteArray("JESUISAPPELANT") << "JESUISAPPELANT";
        QTest::newRow("le raccrochage") << QByteArray("STOP") << "STOP";
        QTest::newRow("l'annonce d'un fichier") << QByteArray("FICHIER") << "FICHIER";
        QTest::newRow("un fichier entier") << "RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + contenu << "RECEPFICHIER";
        QTest::newRow("une partie") << "RECEPGROSFIC" + QByteArray(1, char(nom.size())) + nom + contenu << "RECEPGROSFIC";
        QTest::newRow("un message") << QByteArray("MESSAGE=coucou") << "MESSAGE=";
        QTest::newRow("une offre") << TE::offre({contenu.size(), sha, nom}) << "XFOFFRE";
        QTest::newRow("une tranche") << TE::donnees(0, contenu) << "XFD";
        QTest::newRow("la fin d'un fichier") << TE::sceller(TE::Fin, {}) << "XFFIN";
        QTest::newRow("un acquittement") << TE::sceller(TE::Acquit, "0-6") << "XFA";
        QTest::newRow("une sonnerie en trame") << QByteArray("RING") << "RING";
        // The clock comes in a link test, which is answered: the time in it is not taken.
        QTest::newRow("l'horloge") << QByteArray("CLK15012026090000") << "";
    }

    void rienAvantLaPreuve()
    {
        QFETCH(QByteArray, texte);
        QFETCH(QString, mot);
        DeuxStationsSurCable s({.bauds = 115200});
        donnerCles(s);
        s.lancer(s.a, "A", capture->cleB + "PosteAppellant=-1\nSvrHoraire=1\n");
        s.lancer(s.b, "B", "PosteAppellant=0\n");
        // Sent as soon as A has refused B, while the link is still up.
        for (int i = 0; i < 300 && s.a.fenetre().ListeInfo().filter("Poste distant refusé : il refuse la poignée de main").isEmpty(); ++i)
            s.plateforme.avancer(10);
        QByteArray deA;
        s.ligne.a().espionEmission = [&](const QByteArray &o) { deA += o; };
        s.ligne.b().envoyer(trame(texte));
        s.plateforme.avancer(1000);
        s.ligne.a().espionEmission = nullptr;
        s.plateforme.avancer(20'000);
        const QStringList infos = s.a.fenetre().ListeInfo();
        for (const char *reponse : {"OKFICHIER", "OKPARTFIC", "OKTUESAPPELANT", "XFPRET", "XFA", "ERREURPARTFIC"})
            QVERIFY2(!deA.contains(reponse), deA.constData());
        if (!mot.isEmpty()) // said once a connection: the stranger's own words may have come first
            QVERIFY2(!infos.filter("Poste distant non authentifié : « ").isEmpty(), qPrintable(infos.join('\n')));
        QVERIFY(appelant(s.a));
        QCOMPARE(s.plateforme.reglagesHorloge(), 0);
        for (const char *effet : {"Le poste distant se déconnecte", "Un fichier va arriver", "Le téléphone sonne", "Suite à demande"})
            QVERIFY2(infos.filter(effet).isEmpty(), effet);
        QVERIFY(fichiersDe(s.a.chemin("Recus de A")).isEmpty());
        QCOMPARE(boites(s, "coucou"), 0);
    }

    // Once the two are sealed, someone makes them shake hands again (a test in clear) and
    // then replays the first handshake's opening in place of each new one, or drops each
    // confirmation of A: B waits for a confirmation that does not come. Each try fails, the
    // count is the connection's, and the link is hung up within the bound.
    void poigneeDeMainRetenue_data()
    {
        QTest::addColumn<bool>("rejouer"); // else A's confirmation is dropped: B waits for it in vain
        QTest::newRow("ouverture rejouée") << true;
        QTest::newRow("confirmation perdue") << false;
    }

    void poigneeDeMainRetenue()
    {
        QFETCH(bool, rejouer);
        DeuxStationsSurCable s({.bauds = 115200});
        QByteArray premiere;
        bool apresOuverture = false, retenir = false;
        Sens versB;
        versB.remplacer = [&](const QByteArray &t) {
            if (retenir && !rejouer && std::exchange(apresOuverture, false) && scellee(t))
                return QByteArray(); // the XKFIN that follows the opening
            if (!t.mid(4).startsWith("XKK1"))
                return t;
            apresOuverture = true;
            if (premiere.isEmpty())
                premiere = t;
            return rejouer ? premiere : t;
        };
        s.ligne.a().alteration = [&](const QByteArray &o) { return versB.passer(o); };
        donnerCles(s);
        s.lancer(s.a, "A", capture->cleB + "PosteAppellant=-1\n");
        s.lancer(s.b, "B", capture->cleA);
        const auto dit = [&](const char *texte) { return s.a.fenetre().ListeInfo().filter(texte) + s.b.fenetre().ListeInfo().filter(texte); };
        s.plateforme.avancer(10'000);
        QCOMPARE(dit("Liaison chiffrée avec").size(), 2);
        const qint64 debut = s.plateforme.maintenantUs();
        retenir = true;
        s.ligne.a().envoyer(trame("YAQUELQUUN?"));
        qint64 raccrochage = -1;
        for (int i = 0; i < 1200 && raccrochage < 0; ++i) {
            s.plateforme.avancer(100);
            if (!dit("fois : raccrochage").isEmpty())
                raccrochage = (s.plateforme.maintenantUs() - debut) / 1000;
        }
        const QStringList infos = s.a.fenetre().ListeInfo() + QStringList{"----"} + s.b.fenetre().ListeInfo();
        QVERIFY2(raccrochage > 0 && raccrochage < 60'000, qPrintable(infos.join('\n')));
        QCOMPARE(dit("Liaison chiffrée avec").size(), 2); // the first handshake only
        QVERIFY(s.b.fenetre().ListeInfo().filter("Poste distant refusé : ").size() == 1); // said once
        qInfo("%s : raccrochage %lld ms après le test en clair", rejouer ? "ouverture rejouée" : "confirmation perdue", raccrochage);
    }

    void injectionATouteFrontiere_data()
    {
        QTest::addColumn<bool>("versA");    // A's frame goes missing, and A gets the injection; else B
        QTest::addColumn<int>("rang");      // which of that station's frames
        QTest::addColumn<QString>("quoi");
        const QStringList quoi = {"test en clair", "OKFICHIER en clair", "OKPARTFIC en clair", "XFA en clair",
                                  "OKTUESAPPELANT en clair", "dernière trame scellée", "trame d'une connexion précédente",
                                  "NO CARRIER", "RING", "CONNECT", "XKK1 rejoué"};
        for (bool versA : {true, false})
            for (int rang = 1; rang <= (versA ? capture->versB : capture->versA).size() + 2; ++rang)
                for (const QString &q : quoi)
                    QTest::addRow("%s, trame %d, %s", versA ? "A" : "B", rang, qPrintable(q)) << versA << rang << q;
    }

    void injectionATouteFrontiere()
    {
        QFETCH(bool, versA);
        QFETCH(int, rang);
        QFETCH(QString, quoi);
        DeuxStationsSurCable s({.bauds = 115200});
        Sens deA, deB;
        Sens &deX = versA ? deA : deB, &versX = versA ? deB : deA;
        LigneSimulee::Extremite &autreBout = versA ? s.ligne.b() : s.ligne.a();
        const QList<QByteArray> &avant = versA ? capture->versA : capture->versB;
        QByteArray derniere, enAttente;
        const auto injection = [&]() -> QByteArray {
            const QByteArray test = trame("YAQUELQUUN?");
            if (quoi == "test en clair")
                return test;
            if (quoi.endsWith("en clair")) {
                const QByteArray mot = quoi.section(' ', 0, 0).toLatin1();
                return test + trame(mot == "XFA" ? TramesEtendues::sceller(TramesEtendues::Acquit, "0-999999") : mot);
            }
            if (quoi == "dernière trame scellée")
                return derniere;
            if (quoi == "trame d'une connexion précédente") {
                QList<QByteArray> scellees;
                std::copy_if(avant.begin(), avant.end(), std::back_inserter(scellees), scellee);
                return scellees.value(std::min<qsizetype>(rang, scellees.size() - 1));
            }
            if (quoi == "XKK1 rejoué") {
                const QList<QByteArray> &tout = capture->versA + capture->versB;
                return *std::find_if(tout.begin(), tout.end(), [](const QByteArray &t) { return t.mid(4).startsWith("XKK1"); });
            }
            return "\r\n" + quoi.toLatin1() + (quoi == "CONNECT" ? " 9600" : "") + "\r\n";
        };
        deX.remplacer = [&](const QByteArray &t) {
            if (deX.trames != rang)
                return t;
            enAttente = injection();
            if (versX.entreDeuxTrames())
                autreBout.envoyer(std::exchange(enAttente, {}));
            return QByteArray();
        };
        versX.remplacer = [&](const QByteArray &t) {
            if (scellee(t))
                derniere = t;
            return t + std::exchange(enAttente, {});
        };
        s.ligne.a().alteration = [&](const QByteArray &o) { return deA.passer(o); };
        s.ligne.b().alteration = [&](const QByteArray &o) { return deB.passer(o); };
        raconter(s);
        s.plateforme.avancer(100'000);

        // Nothing the injection did acts: no clock moved, no role taken alone, nothing twice.
        const auto journaux = [&] { return s.a.vue.lignes.join('\n') + "\n----\n" + s.b.vue.lignes.join('\n'); };
        QVERIFY2(s.plateforme.reglagesHorloge() == 0, qPrintable(journaux()));
        // A lost "OKTUESAPPELANT" leaves neither calling until B asks again; an answer
        // taken from the line would make both.
        QVERIFY2(!(appelant(s.a) && appelant(s.b)), qPrintable(journaux()));
        QVERIFY(boites(s, "premier de A") <= 1 && boites(s, "premier de B") <= 1);
        // Nothing left a station that the other has not whole.
        QVERIFY2(QFileInfo::exists(s.a.chemin("Envois à A/dea.txt")) || lireFichier(s.b.chemin("Recus de B/DEA.TXT")) == fichierA, qPrintable(journaux()));
        QVERIFY2(QFileInfo::exists(s.b.chemin("Envois à B/deb.bin")) || lireFichier(s.a.chemin("Recus de A/DEB.BIN")) == fichierB, qPrintable(journaux()));

        // And the link goes on: everything crosses, once.
        s.ligne.a().alteration = s.ligne.b().alteration = nullptr;
        ensuite(s);
        s.plateforme.avancer(700'000);
        QVERIFY2(appelant(s.a) != appelant(s.b), qPrintable(journaux()));
        QCOMPARE(fichiersDe(s.b.chemin("Recus de B")), QStringList({"APRES.TXT", "DEA.TXT"}));
        QCOMPARE(fichiersDe(s.a.chemin("Recus de A")), QStringList({"APRES.TXT", "DEB.BIN"}));
        QCOMPARE(lireFichier(s.b.chemin("Recus de B/DEA.TXT")), fichierA);
        QCOMPARE(lireFichier(s.a.chemin("Recus de A/DEB.BIN")), fichierB);
        QVERIFY(fichiersDe(s.a.chemin("Envois à A")).isEmpty() && fichiersDe(s.b.chemin("Envois à B")).isEmpty());
        QVERIFY2(boites(s, "second de A") == 1, qPrintable(journaux()));
        QVERIFY(s.plateforme.reglagesHorloge() == 0);
    }

};

QTEST_GUILESS_MAIN(TstLiaisonScellee)
#include "tst_liaison_scellee.moc"
