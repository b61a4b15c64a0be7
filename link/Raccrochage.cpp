#include "link/Raccrochage.h"

#include "link/CanalLiaison.h"
#include "serial/ParametresStation.h"

namespace {
// Longer than a modem's escape guard time (S12 = 50, 1 s), with room for the line's delay.
constexpr qint32 silenceGardeMs = 1200;
constexpr qint32 attenteAuRevoirMs = DelaisMs::reponseLongue;
// The farewell crosses and the other station hangs up before the modem is reset.
constexpr qint32 pauseAvantReinitialisationMs = 2000;
}

bool Raccrochage::ecrire(const QByteArray &texte, const QByteArray &reponse, qint32 delai)
{
    // Whether the modem answered does not matter here: only whether the engine is still there.
    return mCanal.portOuvert() && mCanal.ecrireAuModem(texte, reponse, delai, Portee::Etape).has_value();
}

bool Raccrochage::direAuRevoir()
{
    if (!mCanal.portOuvert())
        return false;
    mCanal.arreterAttente();
    if (mCanal.commande("STOP", QByteArray(), attenteAuRevoirMs).fin())
        return true;
    // A bare cable has no modem to hang up or reset, nor to report the link down.
    if (mCanal.etat().sansModem)
        return true;
    if (mCanal.portOuvert() && mCanal.parametres().PosteAppellant && !raccrocherModem())
        return true;
    if (mCanal.portOuvert() && !mCanal.pause(pauseAvantReinitialisationMs, Portee::Etape))
        return true;
    ecrire("ATZ0\r");
    return true;
}

bool Raccrochage::fermerPort()
{
    return mCanal.fermerPort();
}

bool Raccrochage::raccrocherModem()
{
    // Without a carrier the modem is already in command mode: "+++" would only spoil ATH0.
    if (mCanal.etat().horsLigne)
        return ecrire("\rATH0\r"); // the first return ends whatever reached the modem after the carrier
    // A modem takes "+++" only between two silences of its guard time (S12, 1 s by default);
    // its "OK" comes after the second, and then it hears ATH0. The carrier may go meanwhile.
    return mCanal.pause(silenceGardeMs, Portee::Etape)
           && ecrire("+++", "OK", silenceGardeMs + DelaisMs::reponse) && ecrire(mCanal.etat().horsLigne ? "\rATH0\r" : "ATH0\r");
}
