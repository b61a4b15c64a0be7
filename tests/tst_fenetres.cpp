// The timed box and the settings dialog: their logic in virtual time through scripted views,
// then the real Qt windows (offscreen) driven by keys and clicks.
#include "auxwindows/BoitesMessageQt.h"
#include "auxwindows/FMsgBoxTempo.h"
#include "auxwindows/FenetreMsgBoxTempo.h"
#include "mainwindow/FenetreMain.h"
#include "serial/DialogueComm.h"
#include "serial/FenetreComm.h"
#include "tests/support/StationSurLigne.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
struct VueBoiteScriptee : VueMsgBoxTempo
{
    void montrer(FMsgBoxTempo &b) override { libelles << b.lblTpsRestant(); }
    void rafraichir(FMsgBoxTempo &b) override { libelles << b.lblTpsRestant(); }
    void cacher() override { ++cachee; }
    QStringList libelles;
    int cachee = 0;
};

struct VueDialogueScriptee : VueDialogueComm
{
    void montrer(DialogueComm &d) override
    {
        if (action)
            action(d);
    }
    void cacher() override {}
    std::function<void(DialogueComm &)> action;
};
}

// The pictures of docs/ are taken here, only when asked: NAVETTE_CAPTURES=folder.
void capturer(QWidget &fenetre, const char *nom)
{
    const QString dossier = qEnvironmentVariable("NAVETTE_CAPTURES");
    if (!dossier.isEmpty())
        fenetre.grab().save(QDir(dossier).filePath(QString::fromLatin1(nom)));
}

// The settings dialog's logic over a scripted view, shown for the station's port.
void afficherDialogue(StationSurLigne &s, VueDialogueScriptee &vue)
{
    DialogueComm dialogue(s.plateforme, vue);
    s.poste->FrmComm->setDialogue(&dialogue);
    s.poste->FrmComm->Afficher(s.poste->Parametres);
    s.poste->FrmComm->setDialogue(nullptr);
}

class TstFenetres : public QObject
{
    Q_OBJECT

private slots:
    void compteARebours_data()
    {
        QTest::addColumn<bool>("okParDefaut");
        QTest::newRow("OK par défaut") << true;
        QTest::newRow("Annuler par défaut") << false;
    }

    void compteARebours()
    {
        QFETCH(bool, okParDefaut);
        PlateformeSimulee p;
        VueBoiteScriptee vue;
        FMsgBoxTempo boite(p, vue, "Navette");
        const quint32 debut = p.tickMs();
        QCOMPARE(boite.Afficher("Rappeler ?", "", 20, okParDefaut), okParDefaut);
        QCOMPARE(p.ecouleDepuis(debut), 20000u);
        QCOMPARE(vue.libelles.size(), 20);
        QCOMPARE(vue.libelles.first(), QStringLiteral("Temps restant : 20 s"));
        QCOMPARE(vue.libelles.last(), QStringLiteral("Temps restant : 1 s"));
        QCOMPARE(boite.caption(), QStringLiteral("Navette"));
        QCOMPARE(vue.cachee, 1);
    }

    void touchesEntreeEtEchap_data()
    {
        QTest::addColumn<bool>("okParDefaut");
        QTest::addColumn<bool>("entree");
        QTest::addColumn<bool>("resultat");
        QTest::newRow("OK défaut, Entrée") << true << true << true;
        QTest::newRow("OK défaut, Échap") << true << false << false;
        QTest::newRow("Annuler défaut, Entrée") << false << true << false;
        QTest::newRow("Annuler défaut, Échap") << false << false << true;
    }

    void touchesEntreeEtEchap()
    {
        QFETCH(bool, okParDefaut);
        QFETCH(bool, entree);
        QFETCH(bool, resultat);
        // The real window, offscreen, keys sent to it in the middle of the countdown.
        PlateformeSimulee p;
        FenetreMsgBoxTempo fenetre;
        FMsgBoxTempo boite(p, fenetre, "Navette");
        QString pendant;
        p.planifier(3'500'000, [&] {
            pendant = fenetre.findChild<QLabel *>("lblTpsRestant")->text();
            QTest::keyClick(&fenetre, entree ? Qt::Key_Return : Qt::Key_Escape);
        });
        const quint32 debut = p.tickMs();
        QCOMPARE(boite.Afficher("Le modem ne répond pas.", "Modem", 20, okParDefaut, 0), resultat);
        QCOMPARE(p.ecouleDepuis(debut), 3500u);
        QCOMPARE(pendant, QStringLiteral("Temps restant : 17 s"));
        QCOMPARE(fenetre.windowTitle(), QStringLiteral("Modem"));
        QVERIFY(fenetre.isHidden());
    }

    void dispositionDeLaBoite()
    {
        // The window keeps the message's margin on its right.
        FenetreMsgBoxTempo fenetre;
        PlateformeSimulee p;
        FMsgBoxTempo boite(p, fenetre, "Navette");
        p.planifier(1000, [&] {
            const auto *message = fenetre.findChild<QLabel *>("lblMessage");
            QCOMPARE(fenetre.width(), 2 * message->x() + message->width());
            capturer(fenetre, "FMsgBoxTempo.png");
            fenetre.findChild<QPushButton *>("BtnOK")->click();
        });
        QVERIFY(boite.Afficher(QStringLiteral("Le poste distant a raccroché.\r\nVoulez-vous le rappeler ?"), "Appel", 20, true, 0));
    }

    void scriptAffichageEtRetour_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("texte");
        QTest::addColumn<QString>("retour");
        QTest::newRow("deux commandes") << "AT&F0|ATZ0" << "AT&F0\r\nATZ0" << "AT&F0|ATZ0";
        QTest::newRow("barres autour") << "|ATZ0|" << "ATZ0\r\n" << "ATZ0|";
        QTest::newRow("vide") << "" << "ATZ0" << "ATZ0";
        QTest::newRow("barre seule") << "|" << "ATZ0" << "ATZ0";
    }

    void scriptAffichageEtRetour()
    {
        QFETCH(QString, script);
        QFETCH(QString, texte);
        QFETCH(QString, retour);
        QCOMPARE(DialogueComm::scriptVersTexte(script), texte);
        QCOMPARE(DialogueComm::texteVersScript(texte), retour);
        QCOMPARE(DialogueComm::texteVersScript("\r\n\r\nATZ0\r\n\r\nAT&F0\t\r\n"), QStringLiteral("ATZ0||AT&F0|"));
        QCOMPARE(DialogueComm::texteVersScript(""), QStringLiteral("ATZ0"));
    }

    void annulerGardeLesModificationsEtCasesGrises()
    {
        StationSurLigne s;
        CInterlocuteur &poste = s.creerConfiguree("COM1:", "ScriptInit=ATZ0|AT&F0\nSilencieux=-1\n");
        poste.FrmComm->Connecter();
        VueDialogueScriptee vue;
        vue.action = [](DialogueComm &d) {
            QCOMPARE(d.listePorts.size(), 32);
            QCOMPARE(d.listePorts.first(), QStringLiteral("COM1:"));
            QCOMPARE(d.listePorts.last(), QStringLiteral("TCP16:"));
            QCOMPARE(d.listeVitesses, QStringList({"", "N0S37=11", "&N8"}));
            QCOMPARE(d.txtScriptInit, QStringLiteral("ATZ0\r\nAT&F0"));
            QCOMPARE(d.CocheSilencieux, int(EtatCase::Coche));
            d.CochePosteAppellant = EtatCase::Grise;
            d.CocheSilencieux = EtatCase::Grise;
            d.txtNumTel = "0611223344";
            d.cboPort = "COM9:";
            d.txtScriptInit = "ATZ0\r\nATE0";
            d.BtnAnnuler_Click();
        };
        afficherDialogue(s, vue);
        QVERIFY(poste.Parametres.PosteAppellant);
        QVERIFY(!poste.Parametres.Silencieux);
        QCOMPARE(poste.Parametres.NumTelAppel, QStringLiteral("0611223344"));
        QCOMPARE(poste.Parametres.ScriptInit, QStringLiteral("ATZ0|ATE0"));
        QCOMPARE(poste.FrmComm->msNumPort, QStringLiteral("COM1:")); // the port is the OK button's
        QVERIFY(!poste.FrmComm->Port->Actif()); // and it opens again only through OK
    }

    void okQuiEchoueGardeLeDialogue()
    {
        StationSurLigne s;
        CInterlocuteur &poste = s.creerConfiguree("COM1:");
        poste.FrmComm->Connecter();
        int essais = 0;
        VueDialogueScriptee vue;
        vue.action = [&](DialogueComm &d) {
            d.cboPort = "COM5:";
            d.BtnOK_Click();
            ++essais;
            QVERIFY(d.visible()); // COM5: does not exist here
            d.cboPort = "COM1:";
            d.TxtSettings = "9600, e, 7, 1";
            d.BtnOK_Click();
            QVERIFY(!d.visible());
        };
        afficherDialogue(s, vue);
        QCOMPARE(essais, 1);
        QCOMPARE(s.boites.boites.last().titre, QStringLiteral("Ouverture du port COM5:"));
        QCOMPARE(poste.FrmComm->msSettings, QStringLiteral("9600, e, 7, 1"));
        QVERIFY(poste.FrmComm->Port->Actif());
    }

    void vraieFenetreEtConfiguration()
    {
        // Configurer through the real window: what the user types lands in the file.
        StationSurLigne s;
        FenetreComm fenetre;
        DialogueComm dialogue(s.plateforme, fenetre);
        s.creerConfiguree("COM1:");
        CInterlocuteur &poste = *s.poste;
        poste.FrmComm->setDialogue(&dialogue);
        s.plateforme.planifier(1000, [&] {
            QVERIFY(fenetre.isVisible());
            QCOMPARE(fenetre.windowTitle(), QStringLiteral("Communication"));
            auto *appelant = fenetre.findChild<QCheckBox *>("CochePosteAppellant");
            QTest::mouseClick(appelant, Qt::LeftButton);
            QVERIFY(appelant->isChecked());
            fenetre.findChild<QLineEdit *>("txtNumTel")->setText("2");
            fenetre.findChild<QComboBox *>("cboVitesse")->setCurrentText("&N8");
            fenetre.findChild<QPlainTextEdit *>("txtScriptInit")->setPlainText("ATZ0\nAT&C1");
            capturer(fenetre, "FComm.png");
            fenetre.findChild<QPushButton *>("BtnOK")->click();
        });
        poste.Configurer();
        QVERIFY(fenetre.isHidden());
        const QByteArray fichier = lireFichier(s.cheminIni());
        QVERIFY(fichier.contains("PosteAppellant=-1\n"));
        QVERIFY(fichier.contains("NumTelAppel=2\n"));
        QVERIFY(fichier.contains("Paramètre vitesse=&N8\n"));
        QVERIFY(fichier.contains("ScriptInit=ATZ0|AT&C1\n"));
    }

    void boutonsEnFrancais()
    {
        QVERIFY(BoitesMessageQt::installerTraductionFrancaise());
        QMessageBox boite;
        boite.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(boite.button(QMessageBox::Yes)->text(), QStringLiteral("&Oui"));
        QCOMPARE(boite.button(QMessageBox::No)->text(), QStringLiteral("&Non"));
        QCOMPARE(boite.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Annuler"));
    }

    void fenetrePrincipale()
    {
        // The connect box's three values drawn through Qt's own numbering (grey is Qt's 1,
        // "in progress" our 2).
        StationSurLigne s;
        FenetreMain fenetre;
        FMain principale({s.env(), s.ini, s.dossier.path(), "navette", "A"}, fenetre);
        fenetre.setLogique(&principale);
        auto *coche = fenetre.findChild<QCheckBox *>("CocheConnecter");
        QVERIFY(coche && coche->font().bold());
        principale.setCocheConnecter(2);
        QCOMPARE(coche->checkState(), Qt::PartiallyChecked);
        QCOMPARE(coche->text(), QStringLiteral("En cours ..."));
        QVERIFY(coche->font().italic());
        QVERIFY(!fenetre.findChild<QPushButton *>("BtnTestDialog")->isEnabled());
        coche->click(); // in progress: a click stops it
        QCOMPARE(principale.CocheConnecter(), 0);
        QCOMPARE(coche->checkState(), Qt::Unchecked);
        QCOMPARE(coche->text(), QStringLiteral("Connecter"));
        principale.setCocheConnecter(1);
        QCOMPARE(coche->checkState(), Qt::Checked);
        QVERIFY(!coche->font().italic());
        QCOMPARE(fenetre.windowTitle(), QStringLiteral(" : Connecté"));
        QVERIFY(fenetre.findChild<QCheckBox *>("CocheSynchro")->isChecked());
    }
};

QTEST_MAIN(TstFenetres)
#include "tst_fenetres.moc"
