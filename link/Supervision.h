#pragma once

#include "platform/JetonVie.h"
#include "platform/Notification.h"

#include <QString>

#include <memory>
#include <optional>

class Minuterie;

// What the supervision timer is waiting for.
enum class GenreSupervision {
    NonDefinie,
    Appel,            // the calling modem's connection
    Reponse,          // the first word of the station that called
    Surveillance,     // a silent link: a link test every few ticks
    Reception,        // the next part of a file
    Reinitialisation, // a modem to set up again
    Deconnexion,      // a hang-up under way: nothing else may arm the timer
};

// The link's one supervision timer (the main window's): its kind, its interval and its
// counter of ticks, shown through the link's EtatTimeOut notification.
class Supervision
{
public:
    explicit Supervision(Notification<QString, QString, int> &etat) : mEtat(etat) {}

    void attacher(Minuterie &minuterie) { mMinuterie = &minuterie; }
    Minuterie *minuterie() const { return mMinuterie; }
    GenreSupervision genre() const { return mGenre; }
    bool active() const;

    // Starts the interval of this kind from zero. A relance starts the counter at 5, so that
    // the first tick already acts.
    void armer(GenreSupervision genre, bool appelant, bool relance = false);
    // Stops the timer; a Pause around this still starts it again.
    void arreter();
    // Starts it again as it was armed.
    void reprendre();
    // A hang-up begins: the timer stops, and no Pause under way starts it again.
    void commencerDeconnexion();
    // Shows the kind; the timer goes on as it was.
    void setGenre(GenreSupervision genre);
    int compteur() const;
    void setCompteur(int valeur);
    // One more tick counted; a counter never set starts from 0.
    int compter();

    static QString nom(GenreSupervision genre);

    // Stops the timer for a scope (a command sent, a frame handled) and starts it again at
    // the end as it was, unless something armed it meanwhile or the link went away.
    class Pause
    {
    public:
        explicit Pause(Supervision &supervision);
        ~Pause();
        Pause(const Pause &) = delete;
        Pause &operator=(const Pause &) = delete;
        // The timer stays as the scope leaves it.
        void oublier() { mOubliee = true; }

    private:
        Supervision &mSupervision;
        JetonVie::Temoin mVivant;
        bool mActive;
        quint32 mArmements;
        bool mOubliee = false;
    };

private:
    Notification<QString, QString, int> &mEtat;
    Minuterie *mMinuterie = nullptr;
    GenreSupervision mGenre = GenreSupervision::NonDefinie;
    std::optional<int> mCompteur; // ticks counted since the arming
    quint32 mArmements = 0; // each arming, so that a Pause knows
    JetonVie mVie;
};
