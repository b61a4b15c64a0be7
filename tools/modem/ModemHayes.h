#pragma once

#include "platform/Plateforme.h"
#include "tools/modem/LigneSimulee.h"

#include <QByteArray>
#include <QMap>
#include <QString>

#include <functional>

class CentralTelephonique;

struct ReglagesModem
{
    QString numero;
    qint32 vitesse = 38400;     // data rate on the telephone line, and the speed in "CONNECT"
    bool sansTonalite = false;  // the line is dead: every dial ends in "NO DIAL TONE"
    bool occupe = false;        // calls to this modem get "BUSY"
    bool sansReponse = false;   // this modem rings but never picks up
    qint32 coupureApresMs = 0;  // the carrier is lost this long after "CONNECT" (0: never)
    double bruit = 0.0;         // share of bytes altered on the telephone line
    quint32 latenceMs = 0;      // one-way delay of the telephone line, each direction
    quint32 graine = 1;         // of the noise; each call draws its own from it
};

// An emulated Hayes-compatible modem: AT commands from the computer (several on one line,
// any letter case), verbose or numeric result codes, dialling through the exchange, ringing
// and auto-answer after S0 rings, data mode at the line's rate, "+++" with its guard time back
// to command mode, hang-up by command or by the computer dropping DTR (closing its port).
class ModemHayes
{
public:
    enum class Etat { Repos, Numerotation, Sonnerie, Negociation, Donnees, CommandeEnLigne };

    ModemHayes(Plateforme &plateforme, CentralTelephonique &central, ReglagesModem reglages);
    ~ModemHayes();
    ModemHayes(const ModemHayes &) = delete;
    ModemHayes &operator=(const ModemHayes &) = delete;

    // The computer side.
    void depuisTerminal(const QByteArray &octets);
    std::function<void(const QByteArray &)> versTerminal;
    void setDtr(bool actif);
    // Plugs the computer side into one end of a cable (the other end is the computer's port).
    void brancherCable(LigneSimulee::Extremite &extremite);

    QString numero() const { return mReglages.numero; }
    // The modem at the other end of the call under way, and the bytes this one has on the line.
    ModemHayes *distant() const { return mDistant; }
    qint64 octetsEnVol() const { return mLigne ? mLigne->enVol() : 0; }
    Etat etat() const { return mEtat; }
    ReglagesModem &reglages() { return mReglages; }
    // What happens, in French, for the standalone program's log.
    std::function<void(const QString &)> journal;

    // The exchange's side.
    bool libre() const { return mEtat == Etat::Repos && !mReglages.occupe; }
    void appelEntrant(ModemHayes *appelant);
    void appelAbandonne();
    void porteuse(ModemHayes *distant, LigneSimulee::Extremite &ligne, qint32 vitesse);
    void perteDePorteuse();

private:
    enum Code { OK = 0, CONNECT = 1, RING = 2, NO_CARRIER = 3, ERROR = 4, NO_DIAL_TONE = 6, BUSY = 7 };

    void reinitialiser();
    void resultat(Code code, const QByteArray &suite = {});
    void executerLigne(const QByteArray &ligne);
    bool executerCommande(const QByteArray &ligne, qsizetype &i, bool &reponseDonnee);
    static int lireNombre(const QByteArray &ligne, qsizetype &i, int parDefaut); // -1 above 255
    bool commandeEtendue(const QByteArray &ligne, qsizetype &i);
    bool commandeRegistre(const QByteArray &ligne, qsizetype &i);
    bool commandeNumeroter(const QByteArray &ligne, qsizetype &i, bool &reponseDonnee);
    void numeroter(const QByteArray &numero);
    void decrocher();
    void raccrocher(bool prevenirDistant);
    void sonner();
    void recevoirDonnees(const QByteArray &octets);
    void surveillerEchappement(const QByteArray &octets);
    void programmer(Plateforme::Identifiant &id, qint64 delaiMs, std::function<void()> action);
    void annulerTout();
    void noter(const QString &texte);

    Plateforme &mPlateforme;
    CentralTelephonique &mCentral;
    ReglagesModem mReglages;
    Etat mEtat = Etat::Repos;

    QMap<int, int> mRegistres;
    bool mEcho = true;
    bool mVerbeux = true;
    bool mMuet = false;
    QByteArray mLigneCommande;

    ModemHayes *mDistant = nullptr;       // the other modem of the call under way
    LigneSimulee::Extremite *mLigne = nullptr;
    qint32 mVitesseConnexion = 0;
    int mSonneries = 0;

    qint64 mDernierOctetUs = 0;           // last byte from the computer, for the guard time
    int mPlusRecus = 0;
    bool mDtr = false;

    Plateforme::Identifiant mTempo = 0;   // dialling, ringing or negotiation under way
    Plateforme::Identifiant mGarde = 0;   // guard time after "+++"
    Plateforme::Identifiant mCoupure = 0; // carrier loss switch
    Plateforme::Identifiant mAttenteS7 = 0;
};
