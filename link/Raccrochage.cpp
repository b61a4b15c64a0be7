#include "link/Raccrochage.h"

#include "link/CanalLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Plateforme.h"
#include "serial/FComm.h"

namespace {
// Longer than a modem's escape guard time (S12 = 50, 1 s), with room for the line's delay.
constexpr qint32 silenceGardeMs = 1200;
}

bool Raccrochage::portOuvert(const JetonVie::Temoin &vivant)
{
    const FComm *comm = vivant ? mCanal.ligne() : nullptr;
    return comm && comm->Port && comm->Port->Actif();
}

bool Raccrochage::ecrire(const JetonVie::Temoin &vivant, const QByteArray &texte, const QByteArray &reponse, qint32 delai)
{
    return portOuvert(vivant) && mCanal.ligne()->Ecrire(texte, reponse, delai, false);
}

bool Raccrochage::direAuRevoir()
{
    const auto vivant = mCanal.temoin();
    if (!portOuvert(vivant))
        return false;
    mCanal.ligne()->ArréterAttendre();
    if (mCanal.commande("STOP", QByteArray(), 3000).terminee())
        return true;
    // A bare cable has no modem to hang up or reset, nor to report the link down.
    if (mCanal.etat().sansModem)
        return true;
    if (portOuvert(vivant) && mCanal.parametres().PosteAppellant)
        raccrocherModem(vivant);
    if (portOuvert(vivant))
        MGlobal::Attendre(mCanal.env().plateforme, 2000);
    ecrire(vivant, "ATZ0\r");
    return true;
}

void Raccrochage::fermerPort()
{
    if (mCanal.ligne() && !mCanal.ligne()->Déconnecter())
        mCanal.informer(QStringLiteral("Erreur de déconnexion : fermeture du port impossible"));
}

void Raccrochage::raccrocherModem(const JetonVie::Temoin &vivant)
{
    // Without a carrier the modem is already in command mode: "+++" would only spoil ATH0.
    if (mCanal.etat().horsLigne) {
        ecrire(vivant, "\rATH0\r"); // the first return ends whatever reached the modem after the carrier
        return;
    }
    // A modem takes "+++" only between two silences of its guard time (S12, 1 s by default);
    // its "OK" comes after the second, and then it hears ATH0.
    MGlobal::Attendre(mCanal.env().plateforme, silenceGardeMs);
    ecrire(vivant, "+++", "OK", silenceGardeMs + 2000);
    if (vivant) // the carrier may have gone during the guard time
        ecrire(vivant, mCanal.etat().horsLigne ? "\rATH0\r" : "ATH0\r");
}
