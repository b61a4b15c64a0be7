#pragma once

#include "BoitesMessage.h"

#include <QList>
#include <QQueue>

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

    int afficher(const QString &message, int boutons, const QString &titre) override;

    void repondre(int reponse) { mReponses.enqueue(reponse); }

    QList<Boite> boites;

private:
    QQueue<int> mReponses;
};
