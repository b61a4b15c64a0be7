#pragma once

#include "platform/Environnement.h"
#include "platform/JetonVie.h"
#include "platform/Notification.h"
#include "platform/PortCom.h"
#include "securite/CanalChiffre.h"
#include "serial/DialogueParametres.h"
#include "serial/EcritureCommande.h"
#include "serial/ErreurPort.h"
#include "serial/ParametresStation.h"
#include "serial/TamponTrames.h"

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

// The line driver of one station link: opens the port, reassembles incoming framed messages
// (STX, three-byte big-endian length, text), recognises the modem's result codes and watches
// the carrier. Writing a command and waiting for its answer is EcritureCommande's.
//
// Ecrire and OpenPort (for TCP ports) wait while events run: received data, timer ticks and
// the owner's handlers run inside them, may call Ecrire again (refused by the busy guard),
// ArréterAttendre, or destroy this object. Every wait re-checks that the object still lives.
class FComm final : private EcritureCommande::Ligne
{
public:
    explicit FComm(Environnement environnement);
    ~FComm();
    FComm(const FComm &) = delete;
    FComm &operator=(const FComm &) = delete;

    QString msNumPort;
    QString msSettings = QString::fromLatin1(ParametresStation::reglagesParDefaut);
    std::unique_ptr<PortCom> Port;

    // Shows the settings dialog for the station (when a dialog was given).
    void Afficher(ParametresStation &Poste);
    void setDialogue(DialogueParametres *dialogue) { mDialogue = dialogue; }

    bool OpenPort();
    // Opens the port when needed. A port closed by Déconnecter is opened again with the
    // current settings; a failure then is said once in an information line, not a box, so
    // that an unattended station retrying for days does not pile boxes up.
    bool Connecter();
    bool Déconnecter();
    QByteArray TexteReçu() const { return mTampon.texte(); }
    void TexteReçu_Clear();
    // A framed answer beginning with RéponseRefus ends the wait at once: false, with no error
    // reported, since the other station did answer.
    bool Ecrire(QByteArray Texte, const QByteArray &RéponseAttendue = {}, qint32 TimeOut = 2000,
                bool MiseEnFormeSTXTLEN = true, QByteArray *RéponseReçue = nullptr, const QByteArray &RéponseRefus = {});
    // Ten bits a byte on an asynchronous line; what the settings do not say is taken as 9600.
    qint64 octetsParSeconde() const;
    // Why the last ModemEtatConnexion(false) came.
    CauseDeconnexion causeDeconnexion() const { return mCause; }
    // Counts the carrier losses seen on this port.
    quint32 PertesPorteuse() const { return mPertesPorteuse; }
    void ArréterAttendre() { mEcriture.arreter(); }
    // The awaited answer will not come, and that is no error: the wait ends as refused.
    void cederAttente() { mEcriture.ceder(); }
    // The text being delivered is the modem's or this driver's own, not a frame.
    bool texteDuModem() const { return mbTexteDuModem; }
    // An Ecrire is under way: another would be refused.
    bool occupe() const { return mEcriture.occupe(); }
    // Writing, or handing a received frame to its handler: nothing new may start below it.
    bool enCours() const { return mEcriture.occupe() || mLivraisons > 0; }
    // Drops the port object, so that the next Connecter opens it again with new settings.
    void LibererPort();
    // For the station letting the driver go: the port closes, and whatever of the driver
    // still runs below the caller returns at its next check. The memory goes later.
    void cesser();

    // Says whether a frame is a command of the other station, to tell a modem's echo of ours.
    std::function<bool(const QByteArray &)> estCommande;
    // No modem on the line (a bare cable): nothing echoes what we write, so a command equal
    // to the one we await an answer for is the other station's own; and no modem speaks, so
    // no text on the line is ever read as a result code.
    void setLigneSansModem(bool sansModem) { mbSansModem = sansModem; }

    // From the handshake to the end of the connection every frame is sealed, both ways; the
    // connection's end (a hang-up, a lost carrier, a new call) drops the keys.
    void chiffrer(std::unique_ptr<CanalChiffre> canal);
    const CanalChiffre *canal() const { return mCanal.get(); }
    // Changes with the connection and with its keys: an answer counts only under the epoch
    // its command went out in.
    quint32 epoque() const override { return mEpoque; }

    void PortEvent_Lecture(const QByteArray &Texte);
    void PortEvent_Erreur(const QString &Texte, int TypeErreur);
    void PortEvent_PorteusePerdue();

    // Notifications, in their declaration order.
    Notification<QByteArray> Reception;
    Notification<qint32, qint32> ProgressRecept;
    Notification<qint32, qint32> ProgressEmission;
    Notification<QString> Erreur;
    Notification<QString> Information;
    Notification<bool> ModemEtatConnexion;
    // A frame that did not open under the connection's keys, as it came: never acted on.
    Notification<QByteArray> TrameRefusee;

    static constexpr qint32 longueurMaximale = TamponTrames::longueurMaximale;
    static constexpr qint32 longueurTrameMax = TamponTrames::longueurTrameMax;
    // A frame this short arrives at once: no progress is shown for it (a link test answer, a
    // handshake message).
    static constexpr qint32 longueurSansProgression = 128;
    static constexpr qint32 tailleMaxHorsTrame = TamponTrames::tailleMaxHorsTrame;
    // What a wait keeps of the frames behind its answer; the rest is dropped and counted.
    static constexpr qsizetype differesMax = 8;
    static constexpr qsizetype octetsDifferesMax = 65536;
    // A port may hand over megabytes at once (a network port): they are cut in slices so that
    // the buffer stays about a frame long and each frame leaves it in constant time.
    static constexpr qsizetype trancheLecture = 4096;
    static QByteArray encoderEntete(qint64 longueur) { return TamponTrames::encoderEntete(longueur); }
    static qint32 decoderEntete(const QByteArray &texte) { return TamponTrames::decoderEntete(texte); }
    static const QByteArray STX;

private:
    // With a box titled titreBoite first, unless it is empty.
    void signalerErreurPort(const ErreurPort &erreur, const QString &titreBoite);
    std::optional<ErreurPort> appliquerReglages();
    bool ouvrir(bool premiere);

    // What writing a command needs of the driver.
    PortCom *port() override { return Port.get(); }
    bool connecter() override { return Connecter(); }
    void garderTramesSuivantes(bool rendreEntete) override;
    void viderReception() override;
    std::optional<QByteArray> sceller(const QByteArray &texte) override;
    quint32 pertesPorteuse() const override { return mPertesPorteuse; }
    bool livraisonEnCours() const override { return mLivraisons > 0; }
    void progressionEmission(qint32 fait, qint32 total) override { ProgressEmission(fait, total); }
    void erreur(const QString &texte) override { Erreur(texte); }

    // Where the modem's words are read from the line: a modem is there, and no port that
    // tells the carrier itself has the word while connected.
    bool codesDansLeTexte() const;
    void reconnaitreCodeResultat();
    // One step over the receive buffer; true when a frame left it and more may follow.
    bool decouper();
    bool decouperReponse();
    // The frame being read is long: its progress is shown.
    void progressionTrame();
    bool porteusePerdueHorsTrame();
    // arrives: how many bytes just came.
    void guetterPorteuseDansTrame(qsizetype arrives);
    bool porteuseEnFinDeTrame();
    // Everything a lost carrier stops: the write under way, its wait, and what waits to leave.
    void perteDePorteuse();
    static constexpr quint32 silenceApresPorteuseMs = 200;
    bool echo(const QByteArray &trame) const;
    // The frame as sent, opened when the link is sealed; nothing when it does not open. Each
    // frame is opened once: its counter is then spent.
    std::optional<QByteArray> ouvrirTrame(const QByteArray &trame);
    void finDeConnexion(bool connecte);
    void nouvelleEpoque();
    bool livrerTrame();
    // An answer beyond the one a wait took: kept, opened, for after the wait, within bounds.
    void differer(const QByteArray &texte);
    bool livrerDiffere();
    void livrer(const QByteArray &texte);
    // commeTrame: its handler may answer at once, as to a frame.
    void livrerDuModem(const QByteArray &texte, bool commeTrame = false);

    Environnement mEnv;
    DialogueParametres *mDialogue = nullptr;
    JetonVie mVie;
    TamponTrames mTampon;
    EcritureCommande mEcriture{mEnv.plateforme, mTampon, mVie, *this};
    CauseDeconnexion mCause = CauseDeconnexion::Inconnue;
    bool mbTexteDuModem = false;
    int mLivraisons = 0;               // Reception notifications under way
    QString mDernierEchecOuverture;    // said once until the port opens again
    quint32 mPertesPorteuse = 0;       // carrier losses seen, so that a write under way stops
    bool mbSansGuetPorteuse = false;   // a frame held for a possible "NO CARRIER" goes now
    bool mbSansModem = false;
    bool mbEnLigne = false;            // since CONNECT: the modem passes data, echoes nothing
    std::unique_ptr<CanalChiffre> mCanal;
    quint32 mEpoque = 0;
    struct Differe
    {
        QByteArray texte;
        quint32 epoque;
    };
    std::deque<Differe> mDifferes;
    qsizetype mOctetsDifferes = 0;
    quint32 mDifferesPerdus = 0; // beyond the bound, this connection
};
