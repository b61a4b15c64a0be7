#pragma once

#include "platform/EtatFenetre.h"

#include <QString>

// Modal message boxes. The button and icon flags and the answers keep the usual message-box
// numbering, so that callers combine them as "OuiNon | Question | DefautBouton2".
namespace Boutons {
enum : int {
    OK = 0,
    OKAnnuler = 1,
    AbandonReessayerIgnorer = 2,
    OuiNonAnnuler = 3,
    OuiNon = 4,
    ReessayerAnnuler = 5,
    Critique = 16,
    Question = 32,
    Exclamation = 48,
    Information = 64,
    DefautBouton2 = 256,
    DefautBouton3 = 512,
};
}

namespace Reponse {
enum : int { OK = 1, Annuler = 2, Abandon = 3, Reessayer = 4, Ignorer = 5, Oui = 6, Non = 7 };
}

class BoitesMessage
{
public:
    virtual ~BoitesMessage() = default;
    // Shows a modal box and returns the answer. Timers and line notifications keep running
    // while it is shown.
    virtual int afficher(const QString &message, int boutons, const QString &titre) = 0;

    // A question box that answers itself: after tempsRestant seconds without a choice its
    // default button (OK when okParDefaut, else Annuler) is pressed. typeFenetre is the
    // EtatFenetre the box takes when shown. True when closed by OK.
    virtual bool afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                               int typeFenetre = EtatFenetre::Minimisee) = 0;

    // An input box; "" when the user cancels or types nothing.
    virtual QString saisir(const QString &invite, const QString &titre) = 0;
};

// The answer a box gives when nobody chooses: its default button.
int reponseParDefaut(int boutons);
