#include "BoitesMessageConsole.h"

#include <cstdio>

int BoitesMessageConsole::afficher(const QString &message, int boutons, const QString &titre)
{
    std::fprintf(stderr, "[%s] %s\n", qUtf8Printable(titre), qUtf8Printable(message));
    return reponseParDefaut(boutons);
}
