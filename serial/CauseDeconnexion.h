#pragma once

#include <QString>

// Why the link went down.
enum class CauseDeconnexion { Inconnue, PorteusePerdue, PosteOccupe, PasDeTonalite, PosteDistant };

// The words the information line, the journal and the driver's own text use for it.
inline QString texteCause(CauseDeconnexion cause)
{
    switch (cause) {
    case CauseDeconnexion::PorteusePerdue: return QStringLiteral("Pas de porteuse.");
    case CauseDeconnexion::PosteOccupe: return QStringLiteral("Le poste est occupé.");
    case CauseDeconnexion::PasDeTonalite: return QStringLiteral("Pas de tonalité.");
    case CauseDeconnexion::PosteDistant: return QStringLiteral("Le poste distant se déconnecte.");
    case CauseDeconnexion::Inconnue: break;
    }
    return {};
}
