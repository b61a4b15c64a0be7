// Hours of a noisy, dropping telephone line in virtual time: two whole stations exchange a
// few hundred files of every size, and every file must arrive intact exactly once.
#include "link/CInterlocuteur.h"
#include "tests/support/DeuxStationsSurModems.h"
#include "tests/support/BilanLivraisons.h"
#include "tests/support/PosteHistorique.h"

#include <QDir>
#include <QTest>

#include <random>

namespace {
// Emulated modems with byte noise, the carrier lost every 90 s.
ReglagesModem modemAppelant(quint32 graine)
{
    return {.vitesse = 115200, .coupureApresMs = 90'000, .bruit = 1e-4, .graine = graine};
}
ReglagesModem modemAppele(quint32 graine)
{
    return {.vitesse = 115200, .bruit = 1e-4, .graine = graine + 1};
}

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
        DeuxStationsSurModems s(modemAppelant(graine), modemAppele(graine));
        s.demarrer();
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

    void versUnRecepteurHistorique_data() { graines(5, 6); }

    void versUnRecepteurHistorique()
    {
        // Files of several parts, where a part sent twice after a lost answer would be
        // stored twice inside the file.
        QFETCH(quint32, graine);
        DeuxStationsSurModems s(modemAppelant(graine), modemAppele(graine));
        const CommandesHorsLigne horsLigne(s);
        RecepteurHistorique b(s);
        StationSimulee &a = s.a;
        s.chargerA();
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
