// Recognition between two of our stations: what the other showed in its answer to the link
// test, the extension taken up only when both showed it, and toward a station with the
// extension off, the very bytes of today.
#include "link/shared/TramesEtendues.h"
#include "tests/support/BancLigne.h"
#include "tests/support/DeuxStationsSurCable.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>

namespace TE = TramesEtendues;

namespace {
enum Echange { TestDeLiaison, Horloge, Message, PetitFichier, FichierEnParties, RoleAppelant, Stop };

// What the older side's port receives while A starts one exchange.
QByteArray octetsRecus(Echange echange, bool etenduA, bool etenduB, bool chezA)
{
    DeuxStationsSurCable banc;
    banc.plateforme.reglerDateHeure(QDateTime(QDate(2009, 2, 1), QTime(13, 45, 7)), nullptr);
    banc.demarrer(etenduA ? "" : "ProtocoleEtendu=0\n", etenduB ? "" : "ProtocoleEtendu=0\n");
    CInterlocuteur &a = *banc.a.poste, &b = *banc.b.poste;
    QByteArray recu;
    (chezA ? banc.ligne.a() : banc.ligne.b()).espion = [&](const QByteArray &o) { recu += o; };
    a.TesterConnexion(true);
    b.TesterConnexion(true);
    banc.plateforme.avancer(500);
    const QString fichier = banc.a.chemin("envoi/releve.txt");
    switch (echange) {
    case TestDeLiaison: a.TesterConnexion(false); break;
    case Horloge:
        a.Parametres.SvrHoraire = true;
        a.TesterConnexion(true);
        break;
    case Message: a.EnvoyerCommande("MESSAGE=Bonjour", "", 3000); break;
    case PetitFichier:
        ecrireFichier(fichier, QByteArray(300, 'x'));
        a.EnvoyerFichier(fichier);
        break;
    case FichierEnParties: {
        ecrireFichier(fichier, aleatoire(5000));
        // The archive carries the file's time: the same in both runs, whatever the real clock.
        QFile f(fichier);
        if (f.open(QIODevice::ReadWrite))
            f.setFileTime(QDateTime(QDate(2009, 2, 1), QTime(13, 45, 8)), QFileDevice::FileModificationTime);
        f.close();
        a.EnvoyerFichier(fichier);
    }
        break;
    case RoleAppelant:
        b.Parametres.NumTelAppel = QStringLiteral("1");
        b.DefinirCePosteEnAppelant();
        break;
    case Stop: a.Déconnecter(); break;
    }
    banc.plateforme.avancer(5000);
    return recu;
}
}

class TstReconnaissance : public QObject
{
    Q_OBJECT

private slots:
    void versUnPosteAncien_data()
    {
        QTest::addColumn<int>("echange");
        QTest::addColumn<bool>("ancienA");
        const std::pair<const char *, Echange> echanges[] = {
            {"test de liaison", TestDeLiaison}, {"mise à l'heure", Horloge},    {"message", Message},
            {"300 octets", PetitFichier},       {"en parties", FichierEnParties}, {"rôle appelant", RoleAppelant},
            {"raccrochage", Stop}};
        for (const auto &[nom, echange] : echanges) {
            QTest::addRow("%s, ancien poste B", nom) << int(echange) << false;
            QTest::addRow("%s, ancien poste A", nom) << int(echange) << true;
        }
    }

    void versUnPosteAncien()
    {
        // The older station receives today's bytes, but for the capabilities behind "OUI".
        QFETCH(int, echange);
        QFETCH(bool, ancienA);
        const QByteArray aujourdhui = octetsRecus(Echange(echange), false, false, ancienA);
        QByteArray recu = octetsRecus(Echange(echange), ancienA ? false : true, ancienA ? true : false, ancienA);
        recu.replace(BancLigne::trame(TE::reponseAuTest({}, true)), BancLigne::trame("OUI"));
        QVERIFY(!aujourdhui.isEmpty());
        QCOMPARE(recu, aujourdhui);
    }

    void reconnaissance_data()
    {
        QTest::addColumn<QByteArray>("clesA");
        QTest::addColumn<QByteArray>("clesB");
        QTest::addColumn<bool>("etendu");
        QTest::addColumn<QString>("protocoleA"); // what A's Informations say of it, once
        const QString etendu = "Protocole étendu avec le poste distant : tranches de 3968 octets";
        QTest::newRow("les deux") << QByteArray() << QByteArray() << true << etendu;
        QTest::newRow("A sans") << QByteArray("ProtocoleEtendu=0\n") << QByteArray() << false
                                << "Protocole d'origine avec le poste distant : protocole étendu désactivé sur ce poste";
        QTest::newRow("B sans") << QByteArray() << QByteArray("ProtocoleEtendu=faux\n") << false
                                << "Protocole d'origine avec le poste distant : il ne montre pas le protocole étendu";
        QTest::newRow("valeur illisible : avec") << QByteArray("ProtocoleEtendu=peut-être\n") << QByteArray() << true << etendu;
    }

    void reconnaissance()
    {
        QFETCH(QByteArray, clesA);
        QFETCH(QByteArray, clesB);
        QFETCH(bool, etendu);
        QFETCH(QString, protocoleA);
        DeuxStationsSurCable banc;
        banc.demarrer(clesA, clesB);
        CInterlocuteur &a = *banc.a.poste, &b = *banc.b.poste;
        a.TesterConnexion(true);
        QCOMPARE(a.extensionActive(), etendu); // A's offers will show B that A has it too
        QVERIFY(!b.extensionActive());
        b.TesterConnexion(true);
        banc.plateforme.avancer(200);
        QCOMPARE(a.extensionActive(), etendu);
        QCOMPARE(b.extensionActive(), etendu);
        a.TesterConnexion(true);
        banc.plateforme.avancer(200);
        const QStringList protocole = banc.a.informations.filter(QRegularExpression("^Protocole "));
        QCOMPARE(protocole.size(), 1);
        QVERIFY2(protocole[0].startsWith(protocoleA), qPrintable(protocole[0]));
        QCOMPARE(lireFichier(banc.a.cheminIni()).contains("ProtocoleEtendu"), !clesA.isEmpty()); // never written
        // Forgotten with the link.
        a.Déconnecter();
        QVERIFY(!a.extensionActive());
    }

    void reponsesAuTest_data()
    {
        QTest::addColumn<QByteArray>("reponse");
        QTest::addColumn<int>("partie"); // 0: no extension shown
        QTest::addColumn<QByteArray>("rang");
        QTest::addColumn<bool>("memoire");
        const QByteArray rang = "1" + QByteArray(16, 'A');
        QTest::newRow("ancien poste") << QByteArray("OUI") << 0 << QByteArray() << false;
        QTest::newRow("sans rang") << TE::reponseAuTest() << 3968 << QByteArray() << false;
        QTest::newRow("avec rang") << TE::reponseAuTest(rang) << 3968 << rang << false;
        QTest::newRow("rang en minuscules") << QByteArray("OUI ETENDU1 P512 R0" + QByteArray(16, 'f')) << 512 << "0" + QByteArray(16, 'F') << false;
        QTest::newRow("champ inconnu d'une version suivante") << QByteArray("OUI ETENDU1 P3968 Z9") << 3968 << QByteArray() << false;
        QTest::newRow("rang trop court") << QByteArray("OUI ETENDU1 P3968 R1ABC") << 3968 << QByteArray() << false;
        QTest::newRow("rang ni 0 ni 1") << QByteArray("OUI ETENDU1 P3968 R2" + QByteArray(16, '0')) << 3968 << QByteArray() << false;
        QTest::newRow("rang pas hexadécimal") << QByteArray("OUI ETENDU1 P3968 R1" + QByteArray(16, 'G')) << 3968 << QByteArray() << false;
        QTest::newRow("tranche absente") << QByteArray("OUI ETENDU1 P R1" + QByteArray(16, '0')) << 0 << QByteArray() << false;
        QTest::newRow("tranche trop petite") << QByteArray("OUI ETENDU1 P63") << 0 << QByteArray() << false;
        QTest::newRow("mémoire, avec rang") << TE::reponseAuTest(rang, true) << 3968 << rang << true;
        QTest::newRow("mémoire d'un codage d'avant (D1)") << QByteArray("OUI ETENDU1 P3968 D1") << 3968 << QByteArray() << false;
        QTest::newRow("mémoire sans extension") << QByteArray("OUI D2") << 0 << QByteArray() << false;
    }

    void reponsesAuTest()
    {
        QFETCH(QByteArray, reponse);
        QFETCH(int, partie);
        QFETCH(QByteArray, rang);
        QFETCH(bool, memoire);
        QCOMPARE(TE::lireCapacites(reponse).value_or(0), partie);
        QCOMPARE(TE::lireRang(reponse).value_or(QByteArray()), rang);
        QCOMPARE(TE::lireMemoire(reponse), memoire);
    }
};

QTEST_GUILESS_MAIN(TstReconnaissance)
#include "tst_reconnaissance.moc"
