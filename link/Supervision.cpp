#include "link/Supervision.h"

#include "platform/Minuterie.h"

#include <array>

namespace {
struct Armement
{
    qint32 appele;   // interval, ms
    qint32 appelant;
    bool compteur;   // the counter starts again
};

// Indexed by GenreSupervision.
constexpr std::array<Armement, 7> armements{{
    {0, 0, false},          // NonDefinie
    {30000, 30000, true},   // Appel
    {1500, 1500, false},    // Reponse
    {20000, 30000, true},   // Surveillance
    {5000, 5000, false},    // Reception: the counter goes on
    {30000, 30000, true},   // Reinitialisation
    {0, 0, false},          // Deconnexion
}};
}

bool Supervision::active() const
{
    return mMinuterie && mMinuterie->Enabled();
}

void Supervision::armer(GenreSupervision genre, bool appelant, bool relance)
{
    if (!mMinuterie)
        return;
    ++mArmements;
    const Armement &a = armements[size_t(genre)];
    mMinuterie->setEnabled(false);
    mMinuterie->setInterval(appelant ? a.appelant : a.appele);
    if (a.compteur)
        mCompteur = relance ? 5 : 0;
    mMinuterie->setEnabled(true);
    setGenre(genre);
}

void Supervision::arreter()
{
    if (mMinuterie)
        mMinuterie->setEnabled(false);
}

void Supervision::reprendre()
{
    if (mMinuterie)
        mMinuterie->setEnabled(true);
}

void Supervision::commencerDeconnexion()
{
    ++mArmements;
    setGenre(GenreSupervision::Deconnexion);
    arreter();
}

void Supervision::setGenre(GenreSupervision genre)
{
    mGenre = genre;
    const int duree = active() ? mMinuterie->Interval() / 1000 : 0;
    mEtat(nom(genre), mCompteur ? QString::number(*mCompteur) : QString(), duree);
}

int Supervision::compteur() const
{
    return mCompteur.value_or(0);
}

void Supervision::setCompteur(int valeur)
{
    if (!mMinuterie)
        return;
    mCompteur = valeur;
    setGenre(mGenre);
}

int Supervision::compter()
{
    // Never armed with a counter: the first tick counts 0.
    const int suivant = mCompteur ? *mCompteur + 1 : 0;
    setCompteur(suivant);
    return suivant;
}

QString Supervision::nom(GenreSupervision genre)
{
    static const char *const noms[] = {"Non définie", "Appel", "Réponse", "Surveillance",
                                       "Réception", "Réinitialisation", "Déconnexion"};
    const auto i = size_t(genre);
    return i < std::size(noms) ? QString::fromUtf8(noms[i]) : QStringLiteral("?");
}

Supervision::Pause::Pause(Supervision &supervision)
    : mSupervision(supervision), mVivant(supervision.mVie.temoin()), mActive(supervision.active()),
      mArmements(supervision.mArmements)
{
    if (supervision.mMinuterie)
        supervision.mMinuterie->setEnabled(false);
}

Supervision::Pause::~Pause()
{
    // A handler inside the scope that armed the timer for something else (a lost line, a
    // hang-up) keeps it armed.
    if (mOubliee || !mVivant || mArmements != mSupervision.mArmements || !mSupervision.mMinuterie)
        return;
    mSupervision.mMinuterie->setEnabled(mActive);
}
