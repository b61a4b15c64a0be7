#pragma once

#include "mainwindow/FMain.h"
#include "platform/EtatFenetre.h"

#include <functional>

// The main window without a screen: every line the window would add to its lists and every
// caption change goes to the standard output, with the time and the station's name.
class VueConsole : public VueMain
{
public:
    // quitter ends the program this way (the windowless program leaves its event loop).
    explicit VueConsole(std::function<void(int)> quitter) : mQuitter(std::move(quitter)) {}

    void rafraichir(FMain &fenetre) override;
    void ligneAjoutee(const QString &liste, const QString &ligne) override;
    int etatFenetre() const override { return EtatFenetre::Minimisee; } // no window
    void setEtatFenetre(int) override {}
    void prendreFocus() override {}
    QPoint position() const override { return {}; }
    void deplacer(const QPoint &) override {}
    QSize tailleEcran() const override { return {1920, 1080}; }
    void curseurAttente(bool) override {}
    bool ouvrirEditeur(const QString &) override { return false; }
    void quitter(int code) override;

private:
    void ecrire(const QString &texte);

    std::function<void(int)> mQuitter;
    QString mPoste;
    QString mCaption;
    bool mFini = false;
};
