#include "BoitesMessageScriptees.h"

int BoitesMessageScriptees::afficher(const QString &message, int boutons, const QString &titre)
{
    boites.append({message, boutons, titre});
    return mReponses.isEmpty() ? reponseParDefaut(boutons) : mReponses.dequeue();
}
