#include "tests/support/PlateformeSimulee.h"
#include "tools/modem/LigneSimulee.h"

#include <QTest>

class TstPlateformeSimulee : public QObject
{
    Q_OBJECT

private slots:
    void evenementsDansLOrdreEtReplanifies()
    {
        PlateformeSimulee p;
        QStringList ordre;
        p.planifier(2000, [&] { ordre << "b"; });
        p.planifier(1000, [&] {
            ordre << "a";
            p.planifier(1000, [&] { ordre << "a2"; }); // same due time as "b", scheduled later
        });
        const auto annule = p.planifier(1500, [&] { ordre << "annulé"; });
        p.annuler(annule);
        QVERIFY(p.executerTout());
        QCOMPARE(ordre, QStringList({"a", "b", "a2"}));
        QCOMPARE(p.maintenantUs(), qint64(2000));
    }

    void minuteriePeriodiqueEtRedemarrage()
    {
        PlateformeSimulee p;
        auto m = p.creerMinuterie();
        QList<quint32> tics;
        const quint32 debut = p.tickMs();
        m->Timer.connecter([&] { tics << p.ecouleDepuis(debut); });
        m->setInterval(100);
        m->setEnabled(true);
        p.avancer(350);
        QCOMPARE(tics, QList<quint32>({100, 200, 300}));

        // Off and on again, or a new interval while running, restarts from zero.
        tics.clear();
        m->setEnabled(false);
        m->setEnabled(true); // at 350
        p.avancer(80);
        m->setInterval(100); // at 430
        p.avancer(150);
        QCOMPARE(tics, QList<quint32>({530}));

        m->setEnabled(false);
        tics.clear();
        p.avancer(1000);
        QVERIFY(tics.isEmpty());

        m->setInterval(0);
        m->setEnabled(true);
        p.avancer(1000);
        QVERIFY(tics.isEmpty());
    }

    void ticDansUneAttenteImbriqueeEtArretDansSonPropreTic()
    {
        PlateformeSimulee p;
        auto lente = p.creerMinuterie();
        auto rapide = p.creerMinuterie();
        int ticsRapides = 0;
        int ticsRapidesPendantAttente = -1;
        rapide->Timer.connecter([&] {
            if (++ticsRapides == 3)
                rapide->setEnabled(false);
        });
        lente->Timer.connecter([&] {
            lente->setEnabled(false);
            const int avant = ticsRapides;
            p.attendreQue([] { return false; }, 500); // nested wait inside a tick
            ticsRapidesPendantAttente = ticsRapides - avant;
        });
        rapide->setInterval(100);
        lente->setInterval(150);
        rapide->setEnabled(true);
        lente->setEnabled(true);
        p.avancer(2000);
        QCOMPARE(ticsRapides, 3);
        QCOMPARE(ticsRapidesPendantAttente, 2);
        QCOMPARE(p.evenementsEnAttente(), 0);
    }

    void compteurQuiFaitLeTour()
    {
        PlateformeSimulee p(0xFFFFFF00u);
        const quint32 debut = p.tickMs();
        QVERIFY(!p.attendreQue([] { return false; }, 1000));
        QVERIFY(p.tickMs() < debut); // wrapped
        QCOMPARE(p.ecouleDepuis(debut), 1000u);
    }

    void dateVirtuelleEtReglage()
    {
        PlateformeSimulee p(0, QDateTime(QDate(2009, 2, 1), QTime(13, 45, 7)));
        p.avancer(2000);
        QCOMPARE(p.maintenant().time(), QTime(13, 45, 9));
        QString erreur;
        QVERIFY(p.reglerDateHeure(QDateTime(QDate(2010, 1, 1), QTime(0, 0)), &erreur));
        p.avancer(1000);
        QCOMPARE(p.maintenant(), QDateTime(QDate(2010, 1, 1), QTime(0, 0, 1)));
        p.refuserReglageHorloge(true);
        QVERIFY(!p.reglerDateHeure(QDateTime(QDate(2011, 1, 1), QTime(0, 0)), &erreur));
        QVERIFY(erreur.contains("refusé"));
        QCOMPARE(p.reglagesHorloge(), 1);
    }

    void ligneDebitLatenceEtBlocs()
    {
        PlateformeSimulee p;
        LigneSimulee ligne(p, {.bauds = 9600, .latenceMs = 20, .tailleBloc = 16, .decoupage = Decoupage::Blocs});
        QList<QPair<qint64, int>> arrivees;
        int proprietaire = 0;
        ligne.b().brancher(&proprietaire, [&](const QByteArray &o) { arrivees << qMakePair(p.maintenantUs(), int(o.size())); });
        ligne.a().envoyer(QByteArray(100, 'x'));
        ligne.a().envoyer(QByteArray(20, 'y')); // queued behind the first
        QVERIFY(p.executerTout());
        int total = 0;
        for (const auto &a : arrivees)
            total += a.second;
        QCOMPARE(total, 120);
        QCOMPARE(arrivees.size(), 7 + 2);
        QCOMPARE(arrivees.first(), qMakePair(qint64(16667 + 20000), 16));
        // 120 bytes at 960 bytes/s: 125 ms, plus the latency.
        QCOMPARE(arrivees.last().first, qint64(125000 + 20000));
    }

    void ligneCoupeeCorrompueEtPertes()
    {
        const auto transmettre = [](LigneSimulee::Reglages r, qint64 coupureUs) {
            PlateformeSimulee p;
            LigneSimulee ligne(p, r);
            QByteArray recu;
            int proprietaire = 0;
            ligne.b().brancher(&proprietaire, [&](const QByteArray &o) { recu += o; });
            if (coupureUs >= 0)
                ligne.couper(coupureUs);
            ligne.a().envoyer(QByteArray(1000, 'z'));
            p.executerTout();
            return recu;
        };
        QCOMPARE(transmettre({}, -1), QByteArray(1000, 'z'));
        QCOMPARE(transmettre({.bauds = 10000, .decoupage = Decoupage::Blocs}, 50'000).size(), 48); // 1 ms a byte; blocks of 16 at 16, 32, 48 ms
        const QByteArray corrompu = transmettre({.tauxCorruption = 0.1, .graine = 7}, -1);
        QCOMPARE(corrompu.size(), 1000);
        QVERIFY(corrompu.count('z') > 850 && corrompu.count('z') < 950);
        QCOMPARE(transmettre({.tauxCorruption = 0.1, .graine = 7}, -1), corrompu); // seeded: repeatable
        const QByteArray perdu = transmettre({.tauxPerte = 0.05, .graine = 3}, -1);
        QVERIFY(perdu.size() > 920 && perdu.size() < 980);
    }
};

QTEST_GUILESS_MAIN(TstPlateformeSimulee)
#include "tst_plateforme_simulee.moc"
