#include "platform/BoitesMessage.h"

int reponseParDefaut(int boutons)
{
    static const int reponses[6][3] = {
        {Reponse::OK, Reponse::OK, Reponse::OK},
        {Reponse::OK, Reponse::Annuler, Reponse::Annuler},
        {Reponse::Abandon, Reponse::Reessayer, Reponse::Ignorer},
        {Reponse::Oui, Reponse::Non, Reponse::Annuler},
        {Reponse::Oui, Reponse::Non, Reponse::Non},
        {Reponse::Reessayer, Reponse::Annuler, Reponse::Annuler},
    };
    const int jeu = boutons & 7;
    const int rang = (boutons & Boutons::DefautBouton3) ? 2 : (boutons & Boutons::DefautBouton2) ? 1 : 0;
    return jeu < 6 ? reponses[jeu][rang] : Reponse::OK;
}
