// The supervision timer over minutes of virtual time: quiet links tested, stalled receptions
// given up, unanswered calls redialled, failed checks reconnected.
#include "link/shared/MGlobal.h"
#include "platform/Minuterie.h"
#include "tests/support/DeuxStationsSurCable.h"
#include "tests/support/BancLigne.h"
#include "tests/support/StationSurLigne.h"

#include <QTest>

class TstSuperviseur : public QObject
{
    Q_OBJECT

    static int compte(const QStringList &lignes, const QString &texte) { return int(lignes.count(texte)); }

private slots:
    void lienCalmeTesteApresSixIntervalles()
    {
        DeuxStationsSurCable banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        QByteArray versA;
        banc.a.poste->FrmComm->Reception.connecter([&](const QByteArray &t) { versA += t + "|"; });
        b.armer(GenreSupervision::Surveillance);
        banc.plateforme.avancer(119'000);
        QVERIFY(!versA.contains("YAQUELQUUN?CHUT!"));
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|5|20"));
        banc.plateforme.avancer(2000);
        QVERIFY(versA.contains("YAQUELQUUN?CHUT!"));
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|0|20"));
        QVERIFY(banc.a.commandes.contains("Connexion, chut!"));

        // A driver error sets the counter to 5: the next tick tests at once.
        b.FrmComm->Erreur("Erreur de port : [1]essai");
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|5|20"));
        versA.clear();
        banc.plateforme.avancer(20'500);
        QVERIFY(versA.contains("YAQUELQUUN?CHUT!"));
    }

    void lienMuetReinitialise()
    {
        StationSurLigne s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        QVERIFY(p.FrmComm->Connecter());
        p.armer(GenreSupervision::Surveillance, true);
        s.plateforme.avancer(25'000);
        QVERIFY(s.tramesRecues.contains("YAQUELQUUN?CHUT!"));
        QVERIFY(s.informations.contains("Aucune nouvelle, réinitialisation..."));
        s.plateforme.avancer(200'000);
        // The hang-up finds no modem to answer it; the port is opened again all the same.
        QCOMPARE(s.informations.filter("initialisation").mid(1, 3),
                 QStringList({"Aucune nouvelle, réinitialisation...", "Erreur de réinitialisation", "Réinitialisation effectuée"}));
    }

    void receptionInterrompue()
    {
        DeuxStationsSurCable banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        // "FICHIER" announced, then nothing.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame("FICHIER"));
        banc.plateforme.avancer(5500);
        QCOMPARE(compte(banc.b.informations, "Données incomplètes. Nouvelle tentative."), 1);
        // A part arriving in between resets the count.
        b.FrmComm->PortEvent_Lecture(BancLigne::trame("RECEPGROSFIC001002" + MGlobal::CleDonnees("x") + "\tx"));
        banc.plateforme.avancer(6500);
        banc.plateforme.avancer(6500);
        QCOMPARE(compte(banc.b.informations, "Données incomplètes. Nouvelle tentative."), 3);
        QCOMPARE(compte(banc.b.informations, "Données incomplètes. Arrêt de la réception"), 0);
        banc.plateforme.avancer(6500);
        QCOMPARE(compte(banc.b.informations, "Données incomplètes. Arrêt de la réception"), 1);
        QVERIFY(banc.b.informations.contains("Test de communication... (TO Coupure) (3)"));
        QCOMPARE(banc.b.etats.last(), QStringLiteral("Surveillance|0|20")); // A answered the test
    }

    void appelSansReponseRecompose()
    {
        StationSurLigne s;
        s.surReceptionPair = [&](const QByteArray &) {
            if (s.recuParLePair.endsWith("\r") && !s.recuParLePair.endsWith("ATDT2\r"))
                s.pairEnvoie("\r\nOK\r\n", 5); // a modem that accepts everything but never connects
        };
        CInterlocuteur &a = s.creerConfiguree("COM1:", "PosteAppellant=-1\nNumTelAppel=2\n");
        QVERIFY(a.Connecter());
        QCOMPARE(s.etats.last(), QStringLiteral("Appel|0|30"));
        s.plateforme.avancer(30'500);
        QCOMPARE(s.etats.last(), QStringLiteral("Appel|1|30"));
        QCOMPARE(compte(s.informations, "Pas de communication"), 0);
        s.plateforme.avancer(30'000);
        QCOMPARE(compte(s.informations, "Pas de communication"), 1);
        s.plateforme.avancer(20'000);
        QCOMPARE(compte(s.informations, "Numérotation du '2' en cours..."), 2);
    }

    void premierTestDuPosteAppeleSansReponse()
    {
        // The called station's check of a new link, unanswered twice (each failure counted
        // twice): it hangs up and reconnects.
        StationSurLigne s;
        CInterlocuteur &p = s.creerConfiguree("COM1:");
        p.AttacherMinuterie();
        QVERIFY(p.FrmComm->Connecter());
        p.FrmComm->PortEvent_Lecture("\r\nCONNECT 38400\r\n");
        const quint32 debut = s.plateforme.tickMs();
        s.plateforme.avancer(1500 + 2500 + 3000 + 100);
        QCOMPARE(s.informations.filter("Temps d'attente").size(), 1);
        QCOMPARE(p.NbreErreurs.nombre(), qint16(2));
        QVERIFY(s.etats.filter("Déconnexion").isEmpty());
        s.plateforme.avancer(1500 + 2500 + 3000);
        QVERIFY(!s.etats.filter("Déconnexion").isEmpty());
        QVERIFY(s.plateforme.ecouleDepuis(debut) >= 14000);
    }

    void rienApresTerminer()
    {
        DeuxStationsSurCable banc;
        banc.demarrer();
        CInterlocuteur &b = *banc.b.poste;
        b.armer(GenreSupervision::Reinitialisation, true);
        Minuterie *minuterie = b.TimeOut();
        b.Terminer();
        minuterie->setEnabled(true); // the owner's timer, switched on again from outside
        banc.plateforme.avancer(31'000);
        QVERIFY(!minuterie->Enabled());
        QVERIFY(banc.b.informations.filter("réinitialisation").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstSuperviseur)
#include "tst_superviseur.moc"
