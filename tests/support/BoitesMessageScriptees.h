#pragma once

#include "platform/BoitesMessage.h"

#include <QList>
#include <QQueue>

class Plateforme;

// Simulated side: records every box and answers from a script, or with the default button.
class BoitesMessageScriptees : public BoitesMessage
{
public:
    struct Boite
    {
        QString message;
        int boutons;
        QString titre;
    };

    struct BoiteTempo
    {
        QString message;
        QString titre;
        int tempsRestant;
        bool okParDefaut;
    };

    int afficher(const QString &message, int boutons, const QString &titre) override;
    bool afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                       int typeFenetre = EtatFenetre::Minimisee) override;

    QString saisir(const QString &invite, const QString &titre) override;

    void repondre(int reponse) { mReponses.enqueue(reponse); }
    void repondreSaisie(const QString &texte) { mSaisies.enqueue(texte); }
    // The next timed box is answered after apresMs; without a script, the countdown runs out.
    void repondreTempo(bool reponse, quint32 apresMs = 0) { mReponsesTempo.enqueue({reponse, apresMs}); }
    // With a platform, the boxes take their time there (the countdown in virtual time).
    void setPlateforme(Plateforme *plateforme) { mPlateforme = plateforme; }

    QList<Boite> boites;
    QList<BoiteTempo> boitesTempo;
    QList<Boite> saisies;
    // With a platform, an input box stays open this long, events running, as a person reads.
    quint32 dureeSaisieMs = 0;
    int saisiesOuvertesMax = 0; // input boxes open at once, at most

private:
    QQueue<int> mReponses;
    QQueue<QString> mSaisies;
    QQueue<QPair<bool, quint32>> mReponsesTempo;
    Plateforme *mPlateforme = nullptr;
    int mSaisiesOuvertes = 0;
};
