#pragma once

#include <QString>

// What a link test showed: sent by this station (vérifiée) or answered to the other
// (confirmée), with the clock or not; a silent one tells nothing but that the line carries.
enum class VerdictLiaison {
    Verifiee,
    VerifieeAvecHorloge,
    Confirmee,
    ConfirmeeAvecHorloge,
    Chut
};

// The words the owner and the journal show for it.
inline QString texteVerdict(VerdictLiaison verdict)
{
    switch (verdict) {
    case VerdictLiaison::Verifiee: return QStringLiteral("Connexion vérifiée");
    case VerdictLiaison::VerifieeAvecHorloge: return QStringLiteral("Connexion vérifiée par synchronisation horaire");
    case VerdictLiaison::Confirmee: return QStringLiteral("Connexion confirmée");
    case VerdictLiaison::ConfirmeeAvecHorloge: return QStringLiteral("Connexion confirmée avec synchronisation horaire");
    case VerdictLiaison::Chut: break;
    }
    return QStringLiteral("Connexion, chut!");
}
