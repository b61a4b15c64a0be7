#include "link/shared/MGlobal.h"
#include "platform/Windows1252.h"
#include "tests/support/PlateformeSimulee.h"

#include <QTest>

class TstMGlobal : public QObject
{
    Q_OBJECT

private slots:
    void cleDonnees_data()
    {
        QTest::addColumn<QByteArray>("texte");
        QTest::addColumn<QByteArray>("cle");
        QTest::newRow("vide") << QByteArray() << QByteArray("0");
        QTest::newRow("abc") << QByteArray("abc") << QByteArray("294");
        QTest::newRow("A") << QByteArray("A") << QByteArray("65");
        QTest::newRow("code 0 ne compte pas") << QByteArray("a\0b", 3) << QByteArray("197");
        // Position 200 holds code 97 < 200: the remainder is 200 mod 97.
        QByteArray long200(199, '\0');
        long200 += 'a';
        QTest::newRow("reste de l'indice") << long200 << QByteArray("103");
        // 0x80 is the euro sign, code 8364: bytes count through the code page.
        QTest::newRow("euro") << QByteArray("\x80") << QByteArray("8364");
    }

    void cleDonnees()
    {
        QFETCH(QByteArray, texte);
        QFETCH(QByteArray, cle);
        QCOMPARE(MGlobal::CleDonnees(texte), cle);
    }

    void windows1252AllerRetour()
    {
        QByteArray tous;
        for (int i = 0; i < 256; ++i)
            tous.append(char(i));
        const QString texte = Windows1252::versTexte(tous);
        QCOMPARE(texte[0x80], QChar(0x20AC));
        QCOMPARE(texte[0x81], QChar(0x81));
        QCOMPARE(texte[0xE9], QChar(u'é'));
        QCOMPARE(Windows1252::depuisTexte(texte), tous);
        QCOMPARE(Windows1252::depuisTexte(QStringLiteral("Connecté à ")), QByteArray("Connect\xE9 \xE0 "));
        QCOMPARE(Windows1252::depuisTexte(QStringLiteral("Ω")), QByteArray("?"));
    }

    void texteDistant_data()
    {
        QTest::addColumn<QString>("recu");
        QTest::addColumn<QString>("montre");
        QTest::newRow("ordinaire") << "Relevé de mars : 12 €" << "Relevé de mars : 12 €";
        QTest::newRow("séquence d'échappement") << "\x1b[2J\x1b]0;titre\x07" << "\\x1b[2J\\x1b]0;titre\\x07";
        QTest::newRow("fin de ligne et tabulation") << "a\r\nb\tc" << "a\\x0d\\x0ab\\x09c";
        QTest::newRow("contrôles C1 et séparateur de ligne") << QString::fromUtf16(u"x\u009by\u2028z") << "x\\x9by\\x2028z";
        QTest::newRow("coupé à dix") << QString(12, 'a') << "aaaaaaaaaa […]";
    }

    void texteDistant()
    {
        QFETCH(QString, recu);
        QFETCH(QString, montre);
        QCOMPARE(MGlobal::TexteDistant(recu, QTest::currentDataTag() == QByteArray("coupé à dix") ? 10 : 500), montre);
    }

    void attendreParPasDe250ms_data()
    {
        QTest::addColumn<int>("demande");
        QTest::addColumn<int>("dure");
        QTest::newRow("0") << 0 << 0;
        QTest::newRow("-5") << -5 << 0;
        QTest::newRow("1") << 1 << 250;
        QTest::newRow("250") << 250 << 250;
        QTest::newRow("251") << 251 << 500;
        QTest::newRow("1000") << 1000 << 1000;
    }

    void attendreParPasDe250ms()
    {
        QFETCH(int, demande);
        QFETCH(int, dure);
        PlateformeSimulee p;
        const quint32 debut = p.tickMs();
        MGlobal::Attendre(p, demande);
        QCOMPARE(int(p.ecouleDepuis(debut)), dure);
    }
};

QTEST_GUILESS_MAIN(TstMGlobal)
#include "tst_mglobal.moc"
