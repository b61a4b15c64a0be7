// Hours of a noisy, dropping telephone line in virtual time: two whole stations exchange a
// few hundred files of every size, and every file must arrive intact exactly once.
#include "ApplicationSimulee.h"
#include "BancModems.h"
#include "CInterlocuteur.h"
#include "PosteSimule.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include <random>

namespace {
struct Envoi
{
    QString nom; // as it arrives: the receiver writes names in capitals
    QByteArray contenu;
};

// Mostly small files, some of many parts; half of them text that compresses.
QByteArray contenuAuHasard(std::mt19937 &alea)
{
    const int tranche = std::uniform_int_distribution<int>(0, 99)(alea);
    const int taille = tranche < 5    ? 0
                     : tranche < 40   ? std::uniform_int_distribution<int>(1, 300)(alea)
                     : tranche < 70   ? std::uniform_int_distribution<int>(301, 4000)(alea)
                     : tranche < 90   ? std::uniform_int_distribution<int>(4001, 40'000)(alea)
                                      : std::uniform_int_distribution<int>(40'001, 120'000)(alea);
    QByteArray o(taille, Qt::Uninitialized);
    if (alea() % 2) {
        for (char &c : o)
            c = char(alea());
    } else {
        for (int i = 0; i < taille; ++i)
            o[i] = i % 40 == 39 ? '\n' : char('0' + (alea() % 16 == 0 ? alea() % 10 : i % 7));
    }
    return o;
}

// What one incoming folder holds, by the name the file was sent under: a second copy lands
// under a stamped name ("ddmmyy hhnnss NAME").
QMultiHash<QString, QByteArray> arrivees(const QString &dossier)
{
    static const QRegularExpression horodate(QStringLiteral("^\\d{6} \\d{6}(?: \\(\\d+\\))? (.+)$"));
    QMultiHash<QString, QByteArray> recus;
    for (const QString &nom : QDir(dossier).entryList(QDir::Files)) {
        const auto m = horodate.match(nom);
        recus.insert(m.hasMatch() ? m.captured(1) : nom, lireFichier(QDir(dossier).filePath(nom)));
    }
    return recus;
}

struct Bilan
{
    int livres = 0, perdus = 0, abimes = 0, doubles = 0, enAttente = 0;
    int petitsAbimes = 0; // sent uncompressed, with nothing a receiver could check
};

Bilan bilan(const QList<Envoi> &envois, const QString &recus, const QString &sortie)
{
    Bilan b;
    const QMultiHash<QString, QByteArray> la = arrivees(recus);
    for (const Envoi &e : envois) {
        const QList<QByteArray> copies = la.values(e.nom);
        const qsizetype intactes = std::count(copies.begin(), copies.end(), e.contenu);
        const bool petit = e.contenu.size() <= 300;
        b.livres += intactes > 0 || (petit && copies.size() == 1);
        b.perdus += copies.isEmpty();
        (petit ? b.petitsAbimes : b.abimes) += int(copies.size() - intactes);
        b.doubles += std::max<qsizetype>(0, (petit ? copies.size() : intactes) - 1);
    }
    b.enAttente = int(QDir(sortie).entryList(QDir::Files).size());
    QSet<QString> noms;
    for (const Envoi &e : envois)
        noms << e.nom;
    for (const QString &nom : la.keys())
        if (!noms.contains(nom))
            qInfo("inconnu : %s", qPrintable(QString::fromLatin1(nom.toUtf8().toPercentEncoding())));
    for (const Envoi &e : envois)
        if (!la.contains(e.nom))
            qInfo("perdu : %s %lld", qPrintable(e.nom), qlonglong(e.contenu.size()));
    return b;
}

// Two stations over emulated modems with byte noise, the carrier lost every 90 s.
struct LigneDifficile : BancModems
{
    explicit LigneDifficile(quint32 graine)
        : BancModems({.vitesse = 115200, .coupureApresMs = 90'000, .bruit = 1e-4, .graine = graine},
                     {.vitesse = 115200, .bruit = 1e-4, .graine = graine + 1}),
          a(env()), b(env())
    {
        b.charger("[Defaut]\nConnexion à=B\n[Port B]\nNumPort=COM2:\nPosteAppellant=0\n");
        a.charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\nNumTelAppel=2\n", "A");
        b.fenetre().Form_Activate();
        a.fenetre().Form_Activate();
    }

    // Written elsewhere, then moved in whole, as a careful user does.
    void deposer(ApplicationSimulee &app, const QString &nom, const QByteArray &contenu)
    {
        const QString brouillon = app.chemin(nom);
        ecrireFichier(brouillon, contenu);
        QVERIFY(QFile::rename(brouillon, app.poste().CheminFichiersAEnvoyer + "/" + nom));
    }

    ApplicationSimulee a, b;
};

// What station A writes to its modem once that modem has said "NO CARRIER": after the few
// bytes that were already on the cable, only lines of modem commands.
struct CommandesHorsLigne
{
    explicit CommandesHorsLigne(LigneDifficile &s)
    {
        auto versPoste = s.modem1->versTerminal;
        s.modem1->versTerminal = [this, &s, versPoste](const QByteArray &o) {
            if (o.contains("NO CARRIER")) {
                ++pertes;
                depuisUs = s.plateforme.maintenantUs();
            } else if (o.contains("CONNECT")) {
                depuisUs = -1;
                verifier();
            }
            versPoste(o);
        };
        s.cable1.b().brancher(s.modem1.get(), [this, &s](const QByteArray &o) {
            if (depuisUs >= 0 && s.plateforme.maintenantUs() - depuisUs > 50'000)
                tardifs += o;
            s.modem1->depuisTerminal(o);
        });
    }
    void verifier()
    {
        for (const QByteArray &ligne : tardifs.split('\r'))
            if (!ligne.isEmpty() && !ligne.toUpper().startsWith("AT") && ligne != "+++")
                fautes << QString::fromLatin1(ligne.left(40).toPercentEncoding());
        tardifs.clear();
    }
    int pertes = 0;
    qint64 depuisUs = -1;
    QByteArray tardifs;
    QStringList fautes;
};
}

class TstEndurance : public QObject
{
    Q_OBJECT

private slots:
    void centFichiersDansChaqueSens_data()
    {
        QTest::addColumn<quint32>("graine");
        for (quint32 graine : {1u, 2u, 3u, 4u})
            QTest::newRow(qPrintable(QStringLiteral("graine %1").arg(graine))) << graine;
    }

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
                s.deposer(*app, nom, liste->last().contenu);
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
            const Bilan b = bilan(*liste, recus, sortie);
            const QString texte = QStringLiteral("livrés %1, perdus %2, abîmés %3 (+%4 petits sans contrôle), doublés %5, en attente %6")
                                      .arg(b.livres).arg(b.perdus).arg(b.abimes).arg(b.petitsAbimes).arg(b.doubles).arg(b.enAttente);
            qInfo("%s -> %s", qPrintable(sortie), qPrintable(texte));
            QVERIFY2(b.livres == 100 && b.abimes == 0 && b.doubles == 0 && b.enAttente == 0, qPrintable(texte));
        }
        QVERIFY(horsLigne.pertes > 10);
        QVERIFY2(horsLigne.fautes.isEmpty(), qPrintable(horsLigne.fautes.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TstEndurance)
#include "tst_endurance.moc"
