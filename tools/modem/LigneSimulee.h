#pragma once

#include "platform/Plateforme.h"

#include <QByteArray>

#include <functional>
#include <random>
#include <vector>

// How the receiving driver hands bytes over: real ports split frames anywhere.
enum class Decoupage
{
    Blocs,     // pieces of tailleBloc bytes
    Aleatoire, // pieces of tailleMin to tailleBloc bytes, drawn from the seed
};

struct ReglagesLigne
{
    qint32 bauds = 38400;
    quint32 latenceMs = 0;
    int tailleBloc = 16;          // bytes handed over at once on arrival (the most, when random)
    double tauxCorruption = 0.0;  // probability that a byte arrives altered
    double tauxPerte = 0.0;       // probability that a byte is lost
    quint32 graine = 1;
    Decoupage decoupage = Decoupage::Aleatoire;
    int tailleMin = 1;
};

// A simulated cable between two ends: bytes leave each end at baud/10 bytes per second, arrive
// after the latency, in blocks as a real driver hands them over, and can be corrupted, dropped
// or cut off. In virtual time for tests; on the real clock it paces the modem emulator's lines.
class LigneSimulee
{
public:
    using Reglages = ReglagesLigne;

    class Extremite
    {
    public:
        // Sends bytes towards the other end. Returns at once; delivery happens in later events.
        void envoyer(const QByteArray &octets);
        // Who receives what arrives at this end; bytes arriving with nobody plugged in are lost.
        void brancher(const void *proprietaire, std::function<void(const QByteArray &)> reception);
        void debrancher(const void *proprietaire);
        const void *proprietaire() const { return mProprietaire; }
        // Told when something plugs into or unplugs from the other end (a modem sees the
        // computer's port open and close as its DTR line).
        std::function<void(bool)> surPresenceAutre;
        // The device behind this end is pulled out (a USB adapter, a serial server going
        // down): the port plugged in is told, and nothing plugs in until it is put back.
        void retirer();
        void remettre() { mRetiree = false; }
        bool retiree() const { return mRetiree; }
        std::function<void()> surRetrait;
        // Told of what arrives at this end before whoever is plugged in, in the line's order.
        std::function<void(const QByteArray &)> espion;
        // Stands between this end and the line, as someone in the middle would, when set.
        std::function<QByteArray(const QByteArray &)> alteration;
        // Sees the bytes this end sends, at the moment they are written.
        std::function<void(const QByteArray &)> espionEmission;
        // Bytes sent from this end that have not arrived yet.
        qint64 enVol() const { return mEnVol; }
        // Takes back what was sent from this end and has not begun to leave yet.
        void annulerEmission();

    private:
        friend class LigneSimulee;
        LigneSimulee *mLigne = nullptr;
        Extremite *mAutre = nullptr;
        const void *mProprietaire = nullptr;
        std::function<void(const QByteArray &)> mReception;
        double mLibreUs = 0; // when this end's transmitter has sent everything queued
        bool mRetiree = false;
        qint64 mEnVol = 0;
        struct Bloc
        {
            Plateforme::Identifiant id;
            double departUs;
            qsizetype taille;
        };
        std::vector<Bloc> mBlocs; // sent from this end, not arrived yet
    };

    LigneSimulee(Plateforme &plateforme, Reglages reglages = {});
    ~LigneSimulee();
    LigneSimulee(const LigneSimulee &) = delete;
    LigneSimulee &operator=(const LigneSimulee &) = delete;

    Extremite &a() { return mA; }
    Extremite &b() { return mB; }

    // From this moment on, nothing more arrives at either end.
    void couper(qint64 instantUs);

private:
    void transmettre(Extremite &depart, const QByteArray &octets);
    QByteArray degrader(QByteArray bloc);

    Plateforme &mPlateforme;
    Reglages mReglages;
    Extremite mA;
    Extremite mB;
    qint64 mCoupureUs = -1;
    std::mt19937 mAleatoire;
    std::mt19937 mAleatoireDecoupage;
    std::vector<Plateforme::Identifiant> mEnVol;
};
