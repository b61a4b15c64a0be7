#pragma once

#include "mainwindow/FMain.h"

#include <QWidget>

#include <functional>

class CaseACocher;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

// The main window: draws what FMain holds, at the controls' design positions, and hands the
// user's clicks back to it. Each control's object name is its name in FMain.
class FenetreMain : public QWidget, public VueMain
{
public:
    explicit FenetreMain(QWidget *parent = nullptr);

    void setLogique(FMain *logique) { mLogique = logique; }
    // How quitter ends the program.
    void setQuitter(std::function<void(int)> quitter) { mQuitter = std::move(quitter); }
    // Each new line of the lists is also written to the standard output.
    void setEcho(bool echo) { mEcho = echo; }
    // The window's picture is saved there after every visible change (a moment later).
    void setCapture(const QString &chemin) { mCapture = chemin; }
    void ligneAjoutee(const QString &liste, const QString &ligne) override;

    void rafraichir(FMain &fenetre) override;
    int etatFenetre() const override;
    void setEtatFenetre(int etat) override;
    void prendreFocus() override;
    QPoint position() const override { return pos(); }
    void deplacer(const QPoint &position) override { move(position); }
    QSize tailleEcran() const override;
    void curseurAttente(bool attente) override;
    bool ouvrirEditeur(const QString &chemin) override;
    void quitter(int code) override;

    // The two pictures of the window's icon: synchronisation off (0) and on (1).
    static QIcon icone(int index);

protected:
    void changeEvent(QEvent *evenement) override;
    void closeEvent(QCloseEvent *evenement) override;

private:
    // The buttons the window keeps no member for.
    struct BoutonsSansNom
    {
        QPushButton *effacerEmissions, *effacerReceptions, *effacerInfo, *envoi, *terminer;
    };
    // Each control to the logic it drives.
    void relier(const BoutonsSansNom &b);
    QPushButton *bouton(const QString &nom, const QString &texte, QRect twips, QWidget *parent = nullptr);
    QListWidget *liste(const QString &nom, QRect twips);

    void capturer();

    FMain *mLogique = nullptr;
    std::function<void(int)> mQuitter;
    bool mSablier = false;
    bool mEcho = false;
    QString mCapture;
    bool mCapturePrevue = false;
    CaseACocher *CocheConnecter;
    CaseACocher *CocheSynchro;
    QPushButton *BtnTestDialog;
    QPushButton *BtnConfigurer;
    QListWidget *ListeEmissions;
    QListWidget *ListeReceptions;
    QListWidget *ListeInfo;
    QLabel *lblTimeOut;
    QLineEdit *txtCmde;
};
