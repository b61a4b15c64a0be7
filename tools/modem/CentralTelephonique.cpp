#include "tools/modem/CentralTelephonique.h"

#include "tools/modem/ModemHayes.h"

CentralTelephonique::~CentralTelephonique() = default;

void CentralTelephonique::inscrire(ModemHayes *modem)
{
    mModems.insert(modem->numero(), modem);
}

void CentralTelephonique::retirer(ModemHayes *modem)
{
    liberer(modem);
    mModems.remove(modem->numero());
}

ModemHayes *CentralTelephonique::trouver(const QString &numero) const
{
    return mModems.value(numero, nullptr);
}

LigneSimulee &CentralTelephonique::relier(ModemHayes *appelant, ModemHayes *appele, qint32 vitesse, double bruit, quint32 graine,
                                          quint32 latenceMs)
{
    liberer(appelant);
    liberer(appele);
    auto ligne = std::make_unique<LigneSimulee>(
        mPlateforme, LigneSimulee::Reglages{.bauds = vitesse, .latenceMs = latenceMs, .tailleBloc = 16, .tauxCorruption = bruit,
                                            .graine = graine * 7919u + ++mAppels,
                                            .decoupage = Decoupage::Blocs});
    LigneSimulee &reference = *ligne;
    mCommunications.push_back({appelant, appele, std::move(ligne)});
    return reference;
}

void CentralTelephonique::liberer(ModemHayes *modem)
{
    for (auto it = mCommunications.begin(); it != mCommunications.end(); ++it) {
        if (it->appelant != modem && it->appele != modem)
            continue;
        // The line may be delivering right now (a modem hangs up on what it received): it
        // goes once pending events have run, or with the exchange.
        std::unique_ptr<LigneSimulee> ligne = std::move(it->ligne);
        mCommunications.erase(it);
        ligne->a().debrancher(ligne->a().proprietaire());
        ligne->b().debrancher(ligne->b().proprietaire());
        mLignesLiberees.push_back(std::move(ligne));
        mPlateforme.planifier(0, [this, vivant = mVie.temoin()] {
            if (vivant)
                mLignesLiberees.clear();
        });
        return;
    }
}
