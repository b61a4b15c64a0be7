#include "link/Raccrochage.h"

#include "link/CanalLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Plateforme.h"
#include "serial/FComm.h"

namespace {
// Longer than a modem's escape guard time (S12 = 50, 1 s), with room for the line's delay.
constexpr qint32 silenceGardeMs = 1200;
}

bool Raccrochage::portOuvert()
{
    const FComm *comm = mCanal.ligne();
    return comm && comm->Port && comm->Port->Actif();
}

bool Raccrochage::ecrire(const QByteArray &texte, const QByteArray &reponse, qint32 delai)
{
    return portOuvert() && mCanal.mener([&] { mCanal.ligne()->Ecrire(texte, reponse, delai, false); });
}

bool Raccrochage::direAuRevoir()
{
    if (!portOuvert())
        return false;
    mCanal.ligne()->ArréterAttendre();
    if (mCanal.commande("STOP", QByteArray(), 3000).terminee())
        return true;
    // A bare cable has no modem to hang up or reset, nor to report the link down.
    if (mCanal.etat().sansModem)
        return true;
    if (portOuvert() && mCanal.parametres().PosteAppellant && !raccrocherModem())
        return true;
    if (portOuvert() && !mCanal.mener([&] { MGlobal::Attendre(mCanal.env().plateforme, 2000); }))
        return true;
    ecrire("ATZ0\r");
    return true;
}

void Raccrochage::fermerPort()
{
    if (mCanal.ligne() && !mCanal.ligne()->Déconnecter())
        mCanal.informer(QStringLiteral("Erreur de déconnexion : fermeture du port impossible"));
}

bool Raccrochage::raccrocherModem()
{
    // Without a carrier the modem is already in command mode: "+++" would only spoil ATH0.
    if (mCanal.etat().horsLigne)
        return ecrire("\rATH0\r"); // the first return ends whatever reached the modem after the carrier
    // A modem takes "+++" only between two silences of its guard time (S12, 1 s by default);
    // its "OK" comes after the second, and then it hears ATH0. The carrier may go meanwhile.
    return mCanal.mener([&] { MGlobal::Attendre(mCanal.env().plateforme, silenceGardeMs); })
           && ecrire("+++", "OK", silenceGardeMs + 2000) && ecrire(mCanal.etat().horsLigne ? "\rATH0\r" : "ATH0\r");
}
