#include "platform/Plateforme.h"

bool Plateforme::attendreQue(const std::function<bool()> &condition, quint32 delaiMs)
{
    const quint32 debut = tickMs();
    for (;;) {
        if (condition())
            return true;
        const quint32 ecoule = ecouleDepuis(debut);
        if (ecoule >= delaiMs)
            return false;
        pomper(delaiMs - ecoule);
    }
}
