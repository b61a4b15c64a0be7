#include "link/RolePoste.h"

#include "link/CanalLiaison.h"
#include "serial/ParametresStation.h"

bool RolePoste::devenirAppelant()
{
    if (mCanal.parametres().PosteAppellant) {
        mCanal.informer(QStringLiteral("Ce poste est 'appelant'."));
        return true;
    }
    if (mCanal.parametres().NumTelAppel.isEmpty()) {
        const auto numero = mCanal.demander({Question::Genre::Saisie, QStringLiteral("Numéro de téléphone de l'autre site :"),
                                             QStringLiteral("Changement d'appelant")},
                                            Portee::Etape);
        if (!numero)
            return false;
        mCanal.changerRole(false, numero->saisie, false);
    }
    if (mCanal.parametres().NumTelAppel.isEmpty())
        return false;
    mCanal.informer(QStringLiteral("Tentative de paramétrage de l'autre poste en 'appellé'."));
    if (!mCanal.commande("JESUISAPPELANT", "OKTUESAPPELANT", DelaisMs::reponse).repondue())
        return false;
    mCanal.informer(QStringLiteral("Paramétrage accepté par l'autre poste."));
    mCanal.changerRole(true, mCanal.parametres().NumTelAppel, true);
    return true;
}

bool RolePoste::surDemandeAppelant(const QByteArray &)
{
    mCanal.informer(QStringLiteral("Suite à demande, je deviens 'appellé'..."));
    if (mCanal.repondre("OKTUESAPPELANT").fin())
        return true;
    mCanal.changerRole(false, mCanal.parametres().NumTelAppel, true);
    mCanal.raccrocherEtRappeler();
    return true;
}
