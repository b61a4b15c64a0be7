#include "tools/modem/LigneSimulee.h"

#include <algorithm>
#include <cmath>

LigneSimulee::LigneSimulee(Plateforme &plateforme, Reglages reglages)
    : mPlateforme(plateforme), mReglages(reglages), mAleatoire(reglages.graine), mAleatoireDecoupage(reglages.graine)
{
    mReglages.tailleBloc = std::max(1, mReglages.tailleBloc);
    mReglages.tailleMin = std::clamp(mReglages.tailleMin, 1, mReglages.tailleBloc);
    mA.mLigne = mB.mLigne = this;
    mA.mAutre = &mB;
    mB.mAutre = &mA;
}

LigneSimulee::~LigneSimulee()
{
    for (auto id : mEnVol)
        mPlateforme.annuler(id);
}

void LigneSimulee::Extremite::envoyer(const QByteArray &envoyes)
{
    const QByteArray octets = alteration ? alteration(envoyes) : envoyes;
    if (espionEmission)
        espionEmission(octets);
    if (mLigne && !octets.isEmpty())
        mLigne->transmettre(*this, octets);
}

void LigneSimulee::Extremite::brancher(const void *proprietaire, std::function<void(const QByteArray &)> reception)
{
    mProprietaire = proprietaire;
    mReception = std::move(reception);
    if (mAutre && mAutre->surPresenceAutre)
        mAutre->surPresenceAutre(true);
}

void LigneSimulee::Extremite::debrancher(const void *proprietaire)
{
    if (mProprietaire != proprietaire)
        return;
    mProprietaire = nullptr;
    mReception = nullptr;
    if (mAutre && mAutre->surPresenceAutre)
        mAutre->surPresenceAutre(false);
}

void LigneSimulee::Extremite::retirer()
{
    mRetiree = true;
    if (mProprietaire && surRetrait) {
        auto retrait = surRetrait; // the handler unplugs the end
        retrait();
    }
}

void LigneSimulee::couper(qint64 instantUs)
{
    mCoupureUs = instantUs;
}

void LigneSimulee::transmettre(Extremite &depart, const QByteArray &octets)
{
    const double usParOctet = 10.0 * 1e6 / std::max(1, mReglages.bauds);
    const double maintenant = double(mPlateforme.maintenantUs());
    Extremite *arrivee = depart.mAutre;
    for (qsizetype debut = 0, taille = 0; debut < octets.size(); debut += taille) {
        taille = mReglages.decoupage == Decoupage::Blocs
                     ? mReglages.tailleBloc
                     : std::uniform_int_distribution<int>(mReglages.tailleMin, mReglages.tailleBloc)(mAleatoireDecoupage);
        const QByteArray bloc = octets.mid(debut, taille);
        const double departUs = std::max(depart.mLibreUs, maintenant);
        depart.mLibreUs = departUs + usParOctet * double(bloc.size());
        const qint64 arriveeUs = std::llround(depart.mLibreUs) + qint64(mReglages.latenceMs) * 1000;
        auto id = std::make_shared<Plateforme::Identifiant>(0);
        depart.mEnVol += bloc.size();
        *id = mPlateforme.planifierA(arriveeUs, [this, &depart, arrivee, bloc, arriveeUs, id] {
            mEnVol.erase(std::remove(mEnVol.begin(), mEnVol.end(), *id), mEnVol.end());
            std::erase_if(depart.mBlocs, [&](const Extremite::Bloc &b) { return b.id == *id; });
            depart.mEnVol -= bloc.size();
            if (mCoupureUs >= 0 && arriveeUs >= mCoupureUs)
                return;
            const QByteArray recu = degrader(bloc);
            if (arrivee->espion && !recu.isEmpty())
                arrivee->espion(recu);
            if (arrivee->mReception && !recu.isEmpty()) {
                auto reception = arrivee->mReception; // the handler may unplug the end
                reception(recu);
            }
        });
        mEnVol.push_back(*id);
        depart.mBlocs.push_back({*id, departUs, bloc.size()});
    }
}

void LigneSimulee::Extremite::annulerEmission()
{
    if (!mLigne)
        return;
    const double maintenant = double(mLigne->mPlateforme.maintenantUs());
    const double usParOctet = 10.0 * 1e6 / std::max(1, mLigne->mReglages.bauds);
    double libre = maintenant;
    for (auto it = mBlocs.begin(); it != mBlocs.end();) {
        if (it->departUs < maintenant) {
            libre = std::max(libre, it->departUs + usParOctet * double(it->taille));
            ++it;
            continue;
        }
        mLigne->mPlateforme.annuler(it->id);
        std::erase(mLigne->mEnVol, it->id);
        mEnVol -= it->taille;
        it = mBlocs.erase(it);
    }
    mLibreUs = libre;
}

QByteArray LigneSimulee::degrader(QByteArray bloc)
{
    if (mReglages.tauxCorruption <= 0 && mReglages.tauxPerte <= 0)
        return bloc;
    std::uniform_real_distribution<double> tirage(0.0, 1.0);
    QByteArray resultat;
    for (char octet : bloc) {
        if (tirage(mAleatoire) < mReglages.tauxPerte)
            continue;
        if (tirage(mAleatoire) < mReglages.tauxCorruption)
            octet = char(octet ^ char(1 + mAleatoire() % 255));
        resultat.append(octet);
    }
    return resultat;
}
