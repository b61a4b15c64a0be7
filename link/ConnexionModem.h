#pragma once

#include "platform/JetonVie.h"

#include <QByteArray>
#include <QString>

#include <optional>

class CInterlocuteur;

// Bringing the link up: the modem set up by the station's script (two tries, then the user
// is asked), then the number dialled by the calling station, or the modem made to answer
// by the other. A direct cable skips the dialling and tests the link.
//
// Each step waits with events running: the link may be torn down meanwhile, and this with it.
class ConnexionModem
{
public:
    explicit ConnexionModem(CInterlocuteur &poste) : mPoste(poste) {}

    // What Connecter returns; the supervision is armed for what comes next.
    bool etablir();
    bool parametrer(const QByteArray &commande, const QString &libelle, const QByteArray &attendu, int essais, qint32 pause);

private:
    // Each step: nothing when the connection goes on, else what etablir returns.
    std::optional<bool> initialiser();
    bool executerScript();
    std::optional<bool> apresEchecInitialisation(int essai);
    bool appeler();
    bool attendreAppel();
    // Reads vivant before anything of the station, which may be gone.
    bool termine(const JetonVie::Temoin &vivant) const;

    CInterlocuteur &mPoste;
    bool mInitialise = false; // once, for the life of the link
};
