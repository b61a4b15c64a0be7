#include "tests/support/BoitesMessageScriptees.h"

#include "platform/Plateforme.h"

int BoitesMessageScriptees::afficher(const QString &message, int boutons, const QString &titre)
{
    boites.append({message, boutons, titre});
    return mReponses.isEmpty() ? reponseParDefaut(boutons) : mReponses.dequeue();
}

bool BoitesMessageScriptees::afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                                           int)
{
    boitesTempo.append({message, titre, tempsRestant, okParDefaut});
    const auto [reponse, apresMs] = mReponsesTempo.isEmpty() ? qMakePair(okParDefaut, quint32(std::max(1, tempsRestant)) * 1000)
                                                             : mReponsesTempo.dequeue();
    if (mPlateforme)
        mPlateforme->attendreQue([] { return false; }, apresMs);
    return reponse;
}

QString BoitesMessageScriptees::saisir(const QString &invite, const QString &titre)
{
    saisies.append({invite, 0, titre});
    const QString reponse = mSaisies.isEmpty() ? QString() : mSaisies.dequeue();
    saisiesOuvertesMax = std::max(saisiesOuvertesMax, ++mSaisiesOuvertes);
    if (mPlateforme && dureeSaisieMs > 0)
        mPlateforme->attendreQue([] { return false; }, dureeSaisieMs);
    --mSaisiesOuvertes;
    return reponse;
}
