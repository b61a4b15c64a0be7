#pragma once

#include "link/Authentification.h"
#include "link/CanalPoste.h"
#include "link/CommandesDeLigne.h"
#include "link/ConnexionModem.h"
#include "link/ContexteLiaison.h"
#include "link/DossiersPoste.h"
#include "link/EnvoiFichier.h"
#include "link/ErreursDeLigne.h"
#include "link/MiseALHeure.h"
#include "link/ProfilPoste.h"
#include "link/Raccrochage.h"
#include "link/Reconnaissance.h"
#include "link/RolePoste.h"
#include "link/ReceptionFichier.h"
#include "link/Superviseur.h"
#include "link/Supervision.h"
#include "link/VerdictLiaison.h"
#include "platform/Environnement.h"
#include "platform/JetonVie.h"
#include "platform/Notification.h"
#include "serial/FComm.h"

#include <QByteArray>
#include <QString>

#include <memory>

class Minuterie;

// The link engine: one object per station link. It holds the station's parameters, its line
// driver FrmComm and its supervision timer, and offers what the main window calls to
// configure, connect, test, send and disconnect.
//
// Several operations wait with events running (commands awaiting answers, pauses): the
// driver's notifications, the timer's tick and the owner's handlers then run in the middle of
// the operation, and may even end the link (Terminer). Each operation re-reads state after
// its waits and stops when the object was torn down.
//
// The station's parameters (PosteAppellant, NumTelAppel, the folders…) are a public member,
// as the settings dialog edits them. Its parts (the connection, the hang-up, a send, a
// reception, the handshake) reach it only through its channel, CanalPoste.
class CInterlocuteur final : private CommandesDeLigne::Poste
{
public:
    explicit CInterlocuteur(ContexteLiaison contexte);
    ~CInterlocuteur();
    CInterlocuteur(const CInterlocuteur &) = delete;
    CInterlocuteur &operator=(const CInterlocuteur &) = delete;

    // Public members, in their declaration order.
    ParametresStation Parametres;
    QString Tag;
    QString Index = QStringLiteral("1");
    ErreursDeLigne NbreErreurs;
    // How far the file going out has gone, as the emission progress shows it.
    QString PartieGrosFichier;
    std::unique_ptr<FComm> FrmComm;

    bool Initialiser(QString FichierConfig = {}, QString SectionConfig = {});
    void Configurer();
    void Terminer();
    bool Connecter();
    bool ParamétrerModem(const QByteArray &Commande, const QString &LibelléCmde, const QByteArray &RéponseAttendue,
                         int NbreEssais, qint32 PostTempo);
    void Déconnecter();
    bool TesterConnexion(bool AvecEvent = false);
    bool EnvoyerCommande(const QByteArray &Texte, const QByteArray &RéponseAttendue = {}, qint32 valTimeOut = DelaisMs::reponse,
                         QByteArray *RéponseReçue = nullptr, const QByteArray &RéponseRefus = {});
    // True when the caller is done with the file: delivered, gone, or set aside.
    bool EnvoyerFichier(const QString &Fichier) { return envoyerEnDetail(Fichier).fichierRegle; }
    // The same, with what became of the file and why.
    EnvoiFichier::Resultat envoyerEnDetail(const QString &fichier) { return mEnvoi.envoyer(fichier); }
    // What the reception progress shows before its percentage: both ways at once, each its own.
    QString PartieRecue() const { return extensionActive() ? mReception.etendue().avancement().texte() : mPartieRecue; }
    qint64 TailleReceptionEnCours() const { return mReception.tailleEnCours(); }
    // When the file being (or last) received was announced.
    quint32 TickDebutReception() const { return mReception.tickDebut(); }
    bool DefinirCePosteEnAppelant();
    bool ModemEtatConnexion() const { return mEtat.modemConnecte; }
    // Why the link last went down, for ModemEtatConnexionChange(false).
    CauseDeconnexion causeDeconnexion() const { return mEtat.cause; }
    // The other station showed the extension on this connection, and this one has it on. Ours
    // shows itself with its first offer, which only a station with the extension sends.
    bool extensionActive() const { return Parametres.ProtocoleEtendu && mReconnaissance.etendue(); }
    // Measured by the link test that showed the extension; 0 until then.
    quint32 allerRetourMs() const { return mReconnaissance.allerRetourMs(); }
    // A command is being written or a received one handled: a send must not start beneath it.
    bool ligneOccupee() const { return FrmComm && FrmComm->enCours(); }
    // This station leads where one of the two must: the caller of a call; on a cable, the one
    // of higher rank once the other showed its own, else the one set as calling.
    bool meneLaLiaison() const { return mReconnaissance.meneLaLiaison(); }
    // The extension's texts carry their CRC, unless the link is sealed: its tag checks them.
    bool crcEtendu() const { return !FrmComm || !FrmComm->canal(); }
    bool ligneDirecte() const { return Parametres.NumTelAppel == QLatin1String("DIRECT"); }
    void ArreterTempos();
    // Once the folders are set, at start-up: what a reception cut short left behind goes.
    void nettoyerRestesDeReception() { mReception.rangement().nettoyerRestes(); }

    // Takes the owner's timer as the supervision timer now; the first Connecter does it otherwise.
    void AttacherMinuterie();
    // The supervision timer, once attached (null before).
    Minuterie *TimeOut() const { return mSupervision.minuterie(); }
    GenreSupervision TypeTimeOut() const { return mSupervision.genre(); }

    // Notifications, in their declaration order.
    Notification<QString> FichierReçu;
    Notification<QString, QString &> CommandeReçue;
    Notification<QString> Information;
    Notification<qint32, qint32> ProgressRecept;
    Notification<qint32, qint32> ProgressEmission;
    Notification<bool> ModemEtatConnexionChange;
    Notification<QString, QString, int> EtatTimeOut;
    // A link test answered, either way.
    Notification<VerdictLiaison> LiaisonVerifiee;

    // Nothing but link tests is exchanged until the other station has proved its key, when
    // the section pins one.
    bool liaisonAutorisee() const { return mAuth.autorise(); }
    // A Connecter is under way: another one returns false at once, and this one decides.
    bool connexionEnCours() const { return mEtat.connexionEnCours; }
    const Authentification &authentification() const { return mAuth; }
    // No clock is set to a date before it.
    static QDate dateDeConstruction() { return MiseALHeure::dateDeConstruction(); }
    // What this station answers to a link test.
    QByteArray reponseAuTestDeLiaison() const { return mReconnaissance.reponseAuTest(); }

    QString SectionConfig() const { return mProfil.section(); }
    QString nomPort() const { return FrmComm ? FrmComm->msNumPort : QString(); }

    // Arms the supervision for what the link waits for now. A send under way watches the line
    // itself: the waits of a silent link and of a file arriving meanwhile are armed at its end.
    void armer(GenreSupervision genre, bool relance = false);

private:
    friend class CanalPoste;

    // Where the link stands: what the modem said, and what this object is doing.
    struct Etat
    {
        bool modemConnecte = false;
        // The modem said "NO CARRIER" (or could not connect) and nothing came from the other
        // station since: it is in command mode, and a frame would reach its interpreter.
        bool horsLigne = false;
        bool termine = false;
        bool connexionEnCours = false;
        bool reconnexionRefusee = false; // a Connecter came while one ran
        quint32 deconnexions = 0;        // hang-ups since start
        CauseDeconnexion cause = CauseDeconnexion::Inconnue;
    };

    void finEnvoi();
    DossiersPoste dossiers() const;

    // The supervision's tick, to the reception or the supervisor.
    void TimeOut_Timer();
    void FrmComm_Reception(const QByteArray &Texte);
    void FrmComm_Erreur(const QString &Message);
    void FrmComm_Information(const QString &Message);
    void FrmComm_ModemEtatConnexion(bool Connecté);
    // The other station's command (or the modem's RING) handled; false for an answer or a message.
    bool TraiterReception(const QByteArray &Texte);
    // The line commands that are the engine's own.
    bool surTestDeLiaison(const QByteArray &Texte) override;
    bool surHorloge(const QByteArray &Texte) override;
    bool surStop(const QByteArray &Texte) override;
    bool surSonnerie(const QByteArray &Texte) override;
    // The link test and the clock command: "OUI", the link is up, the owner told.
    bool confirmerLiaison(VerdictLiaison verdict, const QByteArray &horloge);
    // What the other station showed of itself: forgotten at every loss of the link.
    void oublierCapacites();
    void noterCapacites(const QByteArray &reponse, quint32 allerRetourMs);
    void FrmComm_ProgressEmission(qint32 Envoyés, qint32 Total);
    void FrmComm_ProgressRecept(qint32 Recu, qint32 Attendu);
    void reglerHorloge(const QByteArray &Texte);

    void EcrireConfiguration();
    // The port's key, converted or asked for when it is not a port name; false when unreadable.
    bool lireNumPort();

    ContexteLiaison mContexte;
    JetonVie mVie;

    Etat mEtat;
    // How far the file coming in part by part has gone.
    QString mPartieRecue;
    ProfilPoste mProfil{mContexte};
    CanalPoste mCanal{*this};
    Supervision mSupervision{EtatTimeOut};
    Superviseur mSuperviseur{mCanal, mSupervision};
    MiseALHeure mHorloge{mContexte.env.plateforme, [this](const QString &texte) { Information(texte); }};
    Reconnaissance mReconnaissance{mCanal};
    ConnexionModem mConnexion{mCanal};
    EnvoiFichier mEnvoi{mCanal};
    Raccrochage mRaccrochage{mCanal};
    ReceptionFichier mReception{mCanal};
    Authentification mAuth{mCanal};
    RolePoste mRole{mCanal};
    CommandesDeLigne mCommandes{*this, mRole, mReception, mEnvoi, mAuth, Parametres};
};
