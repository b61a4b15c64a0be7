#include "link/Reconnaissance.h"

#include "link/CanalLiaison.h"
#include "link/shared/TramesEtendues.h"
#include "serial/ParametresStation.h"

#include <QRandomGenerator>

namespace {
bool ligneDirecte(const ParametresStation &p)
{
    return p.NumTelAppel == QLatin1String("DIRECT");
}
}

Reconnaissance::Reconnaissance(CanalLiaison &canal)
    : mCanal(canal), mTirage(QByteArray::number(QRandomGenerator::system()->generate64(), 16).rightJustified(16, '0').toUpper())
{}

void Reconnaissance::oublier()
{
    mPartieDistante.reset();
    mReponseDistante.clear();
    mRangDistant.reset();
    mMemoireDistante = false;
    mDemandees = false;
    mDebutAppel.reset();
    mProtocoleAnnonce = false;
    mOrigineAnnoncee = false;
    mADemander = false;
}

void Reconnaissance::redemander()
{
    oublier();
    mADemander = mCanal.parametres().ProtocoleEtendu;
}

void Reconnaissance::debutConnexion(bool appelant)
{
    // A direct cable tests both ways at once; a call, only from the called side.
    const bool etendu = mCanal.parametres().ProtocoleEtendu;
    mADemander = appelant && etendu;
    if (etendu)
        mDebutAppel = mCanal.tickMs();
}

QByteArray Reconnaissance::reponseAuTest() const
{
    const ParametresStation &p = mCanal.parametres();
    return p.ProtocoleEtendu ? TramesEtendues::reponseAuTest(ligneDirecte(p) ? rang() : QByteArray(), p.MemoireFichiers > 0)
                             : QByteArray("OUI");
}

void Reconnaissance::noter(const QByteArray &reponse, quint32 allerRetourMs, bool autorise)
{
    mDemandees = true;
    if (mCanal.parametres().ProtocoleEtendu) {
        mPartieDistante = TramesEtendues::lireCapacites(reponse);
        mRangDistant = TramesEtendues::lireRang(reponse);
        mMemoireDistante = TramesEtendues::lireMemoire(reponse);
        mAllerRetourMs = allerRetourMs;
    }
    mReponseDistante = reponse;
    annoncer(autorise);
}

void Reconnaissance::annoncer(bool autorise)
{
    if (!etendue()) {
        if (!std::exchange(mOrigineAnnoncee, true))
            mCanal.informer(
                mCanal.parametres().ProtocoleEtendu
                    ? QStringLiteral("Protocole d'origine avec le poste distant : il ne montre pas le protocole étendu")
                    : QStringLiteral("Protocole d'origine avec le poste distant : protocole étendu désactivé sur ce poste"));
        return;
    }
    if (std::exchange(mProtocoleAnnonce, true))
        return;
    mCanal.informer(QStringLiteral("Protocole étendu avec le poste distant : tranches de %1 octets au plus, aller-retour %2 ms")
                        .arg(std::min(*mPartieDistante, TramesEtendues::partieMax))
                        .arg(mAllerRetourMs));
    // Only the leader: the other keeps its shorter wait, so both do not offer at once. A
    // keyed link waits for its handshake.
    if (meneLaLiaison() && autorise)
        mCanal.posteDistantReconnu();
}

QByteArray Reconnaissance::rang() const
{
    return (mCanal.parametres().PosteAppellant ? "1" : "0") + mTirage;
}

bool Reconnaissance::meneLaLiaison() const
{
    const ParametresStation &p = mCanal.parametres();
    if (!ligneDirecte(p) || !mRangDistant || *mRangDistant == rang())
        return p.PosteAppellant;
    return rang() > *mRangDistant;
}

void Reconnaissance::apresReponseAuTest()
{
    // The called station's first test showed it ours: the calling one asks back at once,
    // rather than at its first supervision test.
    if (std::exchange(mADemander, false) && !mDemandees)
        tester(20);
}

void Reconnaissance::tester(int essais)
{
    mCanal.planifier(100'000, [this, essais] {
        if (!mCanal.etat().modemConnecte || mDemandees || !mCanal.parametres().ProtocoleEtendu || mCanal.etat().termine)
            return;
        // A command still under way (the dial's own wait) leaves the line to it for now.
        if (mCanal.ligneOccupee()) {
            if (essais > 1)
                tester(essais - 1);
            return;
        }
        mCanal.testerLiaison(false);
    });
}

bool Reconnaissance::attendre()
{
    // The called station tests 3.5 s after the call, and the caller asks back at once.
    constexpr quint32 attenteMaxMs = 6000;
    if (!mDebutAppel || mDemandees)
        return true;
    const quint32 ecoule = mCanal.ecouleDepuis(*mDebutAppel);
    if (ecoule >= attenteMaxMs)
        return true;
    return mCanal.attendreQue([&] { return mDemandees || !mCanal.etat().modemConnecte; }, attenteMaxMs - ecoule);
}
