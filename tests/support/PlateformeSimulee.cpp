#include "tests/support/PlateformeSimulee.h"

#include "tests/support/MinuterieSimulee.h"

PlateformeSimulee::PlateformeSimulee(quint32 tickInitial, QDateTime dateInitiale)
    : mTickInitial(tickInitial), mDateInitiale(std::move(dateInitiale))
{
}

quint32 PlateformeSimulee::tickMs() const
{
    return mTickInitial + quint32(quint64(mMaintenantUs / 1000));
}

QDateTime PlateformeSimulee::maintenant() const
{
    return mDateInitiale.addMSecs(mMaintenantUs / 1000);
}

bool PlateformeSimulee::reglerDateHeure(const QDateTime &dateHeure, QString *erreur)
{
    if (mRefuserReglage) {
        if (erreur)
            *erreur = QStringLiteral("Réglage de l'horloge refusé : droits insuffisants.");
        return false;
    }
    mDateInitiale = dateHeure.addMSecs(-(mMaintenantUs / 1000));
    ++mReglagesHorloge;
    return true;
}

std::unique_ptr<Minuterie> PlateformeSimulee::creerMinuterie()
{
    return std::make_unique<MinuterieSimulee>(*this);
}

PlateformeSimulee::~PlateformeSimulee()
{
    // What the pending actions hold goes while this still stands: their destructors may
    // cancel actions of their own.
    auto file = std::move(mFile);
    mFile.clear();
    mParId.clear();
    file.clear();
}

PlateformeSimulee::Identifiant PlateformeSimulee::planifierA(qint64 instantUs, std::function<void()> action)
{
    const Identifiant id = mProchainId++;
    const Cle cle{std::max(mMaintenantUs, instantUs), id};
    mFile.emplace(cle, std::move(action));
    mParId.emplace(id, cle);
    return id;
}

void PlateformeSimulee::annuler(Identifiant id)
{
    const auto it = mParId.find(id);
    if (it == mParId.end())
        return;
    mFile.erase(it->second);
    mParId.erase(it);
}

bool PlateformeSimulee::executerUnEcheant()
{
    if (mFile.empty() || mFile.begin()->first.echeanceUs > mMaintenantUs)
        return false;
    auto it = mFile.begin();
    std::function<void()> action = std::move(it->second);
    mParId.erase(it->first.ordre);
    mFile.erase(it);
    action();
    return true;
}

void PlateformeSimulee::pomper(quint32 attenteMaxMs)
{
    // Only what is due now runs here: a new event scheduled "now" by a handler waits for the
    // next pump, as a posted event would.
    const qint64 limite = mMaintenantUs;
    bool execute = false;
    while (!mFile.empty() && mFile.begin()->first.echeanceUs <= limite)
        execute = executerUnEcheant() || execute;
    if (execute || attenteMaxMs == 0)
        return;
    const qint64 finAttente = mMaintenantUs + qint64(attenteMaxMs) * 1000;
    if (mFile.empty() || mFile.begin()->first.echeanceUs > finAttente) {
        mMaintenantUs = finAttente;
        return;
    }
    mMaintenantUs = mFile.begin()->first.echeanceUs;
    const qint64 instant = mMaintenantUs;
    while (!mFile.empty() && mFile.begin()->first.echeanceUs <= instant)
        executerUnEcheant();
}

void PlateformeSimulee::avancer(quint32 ms)
{
    attendreQue([] { return false; }, ms);
}

bool PlateformeSimulee::executerTout(quint32 limiteMs)
{
    return attendreQue([this] { return mFile.empty(); }, limiteMs);
}
