#include "platform/production/BoitesMessageConsole.h"

#include "platform/Plateforme.h"

#include <cstdio>

int BoitesMessageConsole::afficher(const QString &message, int boutons, const QString &titre)
{
    std::fprintf(stderr, "[%s] %s\n", qUtf8Printable(titre), qUtf8Printable(message));
    return reponseParDefaut(boutons);
}

bool BoitesMessageConsole::afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut, int)
{
    std::fprintf(stderr, "[%s] %s (réponse par défaut dans %d s : %s)\n", qUtf8Printable(titre), qUtf8Printable(message),
                 tempsRestant, okParDefaut ? "Ok" : "Annuler");
    if (mPlateforme)
        mPlateforme->attendreQue([] { return false; }, quint32(std::max(0, tempsRestant)) * 1000);
    return okParDefaut;
}

QString BoitesMessageConsole::saisir(const QString &invite, const QString &titre)
{
    std::fprintf(stderr, "[%s] %s (aucune saisie possible ici)\n", qUtf8Printable(titre), qUtf8Printable(invite));
    return {};
}
