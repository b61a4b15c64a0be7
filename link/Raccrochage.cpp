#include "link/Raccrochage.h"

#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/Plateforme.h"

namespace {
// Longer than a modem's escape guard time (S12 = 50, 1 s), with room for the line's delay.
constexpr qint32 silenceGardeMs = 1200;
}

bool Raccrochage::portOuvert(const JetonVie::Temoin &vivant) const
{
    const FComm *comm = mPoste.FrmComm.get();
    return vivant && comm && comm->Port && comm->Port->Actif();
}

bool Raccrochage::ecrire(const JetonVie::Temoin &vivant, const QByteArray &texte, const QByteArray &reponse, qint32 delai)
{
    return portOuvert(vivant) && mPoste.FrmComm->Ecrire(texte, reponse, delai, false);
}

void Raccrochage::raccrocher()
{
    ++mPoste.mDeconnexions;
    mPoste.mReception.abandonner();
    mPoste.oublierCapacites();
    const auto vivant = mPoste.mVie.temoin();
    mPoste.mSupervision.commencerDeconnexion();
    if (portOuvert(vivant))
        direAuRevoir(vivant);
    if (!vivant)
        return;
    mPoste.mAuth.oublier(); // after the farewell, which goes sealed
    if (mPoste.FrmComm && !mPoste.FrmComm->Déconnecter())
        mPoste.Information(QStringLiteral("Erreur de déconnexion : fermeture du port impossible"));
    if (vivant)
        mPoste.mSupervision.setGenre(GenreSupervision::NonDefinie);
}

void Raccrochage::direAuRevoir(const JetonVie::Temoin &vivant)
{
    mPoste.FrmComm->ArréterAttendre();
    mPoste.EnvoyerCommande("STOP", QByteArray(), 3000);
    // A bare cable has no modem to hang up or reset, nor to report the link down.
    if (mPoste.mConnexion.sansModem()) {
        mPoste.mbModemConnecte = false;
        return;
    }
    if (portOuvert(vivant) && mPoste.PosteAppellant)
        raccrocherModem(vivant);
    if (portOuvert(vivant))
        MGlobal::Attendre(mPoste.mContexte.env.plateforme, 2000);
    ecrire(vivant, "ATZ0\r");
}

void Raccrochage::raccrocherModem(const JetonVie::Temoin &vivant)
{
    // Without a carrier the modem is already in command mode: "+++" would only spoil ATH0.
    if (mPoste.mbHorsLigne) {
        ecrire(vivant, "\rATH0\r"); // the first return ends whatever reached the modem after the carrier
        return;
    }
    // A modem takes "+++" only between two silences of its guard time (S12, 1 s by default);
    // its "OK" comes after the second, and then it hears ATH0.
    MGlobal::Attendre(mPoste.mContexte.env.plateforme, silenceGardeMs);
    ecrire(vivant, "+++", "OK", silenceGardeMs + 2000);
    if (vivant) // the carrier may have gone during the guard time
        ecrire(vivant, mPoste.mbHorsLigne ? "\rATH0\r" : "ATH0\r");
}
