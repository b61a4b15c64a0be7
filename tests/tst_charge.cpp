// Two stations under a site's steady traffic, both ways: neither starves the other, between two
// of ours with or without the extension, and toward a station of the original design.
#include "tests/support/DeuxStationsSurModems.h"
#include "tests/support/PosteHistorique.h"
#include "tests/support/SurveillanceDossierSimulee.h"

#include <QDir>
#include <QTest>

#include <limits>
#include <random>

class TstCharge : public QObject
{
    Q_OBJECT

private slots:
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
        DeuxStationsSurModems s({.vitesse = 115200}, {.vitesse = 115200});
        // Each outgoing folder watched: a file moved in is whole at once, as the system says.
        QHash<StationSimulee *, SurveillanceDossierSimulee *> veilles;
        for (StationSimulee *app : {&s.a, &s.b})
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
            StationSimulee *depuis;
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
            const qsizetype restants = QDir(d.depuis->lien().Parametres.CheminFichiersAEnvoyer).entryList(QDir::Files).size();
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
        DeuxStationsSurModems s({.vitesse = 115200}, {.vitesse = 115200});
        PosteHistorique b(s);
        StationSimulee &a = s.a;
        s.chargerA();
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
};

QTEST_GUILESS_MAIN(TstCharge)
#include "tst_charge.moc"
