#pragma once

#include "platform/BoitesMessage.h"

#include <QPointer>
#include <QWidget>

class Plateforme;

// Production message boxes: Qt windows, waited for through the platform's one wait, so timers
// and line notifications keep running while they are shown.
class BoitesMessageQt : public BoitesMessage
{
public:
    explicit BoitesMessageQt(Plateforme &plateforme) : mPlateforme(plateforme) {}

    // A minimised main window is brought back before a box shows.
    void setFenetrePrincipale(QWidget *fenetre) { mFenetrePrincipale = fenetre; }

    int afficher(const QString &message, int boutons, const QString &titre) override;
    bool afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                       int typeFenetre = EtatFenetre::Minimisee) override;
    QString saisir(const QString &invite, const QString &titre) override;

    // Qt's own buttons and dialogs in French ("&Oui", "&Non", "&Annuler"); false when the
    // translation is not installed on this machine.
    static bool installerTraductionFrancaise();

private:
    Plateforme &mPlateforme;
    QPointer<QWidget> mFenetrePrincipale;
};
