#pragma once

#include "link/AvancementFichier.h"
#include "link/Supervision.h"
#include "platform/Environnement.h"

#include <QByteArray>
#include <QString>

#include <functional>

class DossiersPoste;
class FComm;
class ProprietaireLiaison;
struct ParametresStation;

// How a text sent to the other station ended.
enum class IssueCommande {
    Repondue, // the awaited answer came (or none was awaited and the text went out)
    Refusee,  // the other station answered with the refusal given
    Silence,  // no answer in time, or the line would not take the text
    Perdue,   // the line is gone: the carrier, the port, or a hang-up
    Terminee, // the engine is gone, and the caller with it: return at once, touch nothing
};

struct ReponseCommande
{
    IssueCommande issue = IssueCommande::Silence;
    QByteArray texte; // the answer or the refusal, as it came
    bool repondue() const { return issue == IssueCommande::Repondue; }
    bool perdue() const { return issue == IssueCommande::Perdue || terminee(); }
    bool terminee() const { return issue == IssueCommande::Terminee; }
};

// What the line and the other station are, as the engine knows them now.
struct EtatLigne
{
    bool modemConnecte = false;
    // The modem said "NO CARRIER" and nothing came since: it is in command mode.
    bool horsLigne = false;
    bool sansModem = false;       // a bare cable: no modem answered on a "DIRECT" line
    bool termine = false;         // the station is ending: nothing new starts
    quint32 deconnexions = 0;     // hang-ups since start: a send that saw one must start over
    bool extensionActive = false; // both stations have our extension on
    bool crcEtendu = true;        // the extension's texts carry their CRC (the link is not sealed)
    bool meneLaLiaison = false;
    bool ligneDirecte = false;
    qint32 partieDistante = 0; // the longest slice the other station takes
    quint32 allerRetourMs = 0;
    qint64 octetsParSeconde = 0;
};

// The one way a part of the link engine (the connection, a send, a reception, the
// handshake…) reaches the rest of it. No part holds the engine.
//
// The engine can be gone after anything that runs the event loop, and only then: a command
// or an answer (IssueCommande::Terminee), and whatever a part runs through patienter, mener
// or attendreQue (a link test, connecting, hanging up, a box, a pause). Telling the owner
// something (informer, fichierRecu, avancement…, ProprietaireLiaison's calls) never runs
// it: the owner records, or arms a timer.
class CanalLiaison
{
public:
    // Sends a text and waits up to delaiMs for an answer beginning with attendue (none: the
    // text is only written). An answer beginning with refus ends the wait as refused.
    virtual ReponseCommande commande(const QByteArray &texte, const QByteArray &attendue = {}, qint32 delaiMs = 2000,
                                     const QByteArray &refus = {}) = 0;
    // The answer to the other station's command: Repondue once it went, else why not.
    virtual ReponseCommande repondre(const QByteArray &texte) = 0;
    // A link test; the owner is told (avecEvenement) and the capabilities noted.
    virtual bool testerLiaison(bool avecEvenement) = 0;
    virtual void informer(const QString &texte) = 0;
    // How far the file going out, or coming in, has gone; none once it is done.
    virtual void avancementEmission(const AvancementFichier &avancement) = 0;
    virtual void avancementReception(const AvancementFichier &avancement) = 0;
    // The line carried a good exchange: its error count starts again. Or it did not: the
    // count so far.
    virtual void ligneSaine() = 0;
    virtual qint16 erreurDeLigne() = 0;

    virtual void armer(GenreSupervision genre, bool relance = false) = 0;
    virtual void arreterSupervision() = 0;
    // A file stored whole, at chemin.
    virtual void fichierRecu(const QString &chemin) = 0;
    // A send has ended: the supervision it held goes to what the line does next.
    virtual void finEnvoi() = 0;
    // A call that just came up waits for its first link tests, so a file goes out the best
    // way: false when the engine went meanwhile.
    virtual bool attendreCapacites() = 0;
    // The other station's capabilities are asked again (the link starts over).
    virtual void redemanderCapacites() = 0;
    // The other station answered on a line no modem reported up: the link is up.
    virtual void lienConstate() = 0;

    // The line driver; null once the station has let it go.
    virtual FComm *ligne() = 0;
    virtual EtatLigne etat() const = 0;
    virtual QByteArray reponseAuTest() const = 0;
    virtual QByteArray reponseDistante() const = 0; // its answer to our link test, as it came
    virtual const ParametresStation &parametres() const = 0;
    virtual const DossiersPoste &dossiers() const = 0;
    virtual Environnement &env() = 0;
    virtual ProprietaireLiaison &proprietaire() = 0;
    virtual QString argumentLigneCommande() const = 0;

    // The engine's own operations a part may start.
    virtual void attacherMinuterie() = 0;
    // The calling role and the other's number; written to the station's section when asked.
    virtual void changerRole(bool appelant, const QString &numero, bool enregistrer) = 0;
    virtual bool connecter() = 0;
    virtual void deconnecter() = 0;
    // Runs one of the part's own waits (a box, a pause, a write to the modem, the port
    // opening): false when the link ended meanwhile (the engine gone or ending, its driver
    // let go), and the part then returns without touching anything.
    virtual bool patienter(const std::function<void()> &attente) = 0;
    // Runs a step that must end even while the link ends (storing a file before its
    // acknowledgement, a hang-up): false only when the engine itself went meanwhile.
    virtual bool mener(const std::function<void()> &etape) = 0;
    // Waits, events running, until condition holds or delaiMs passed; the condition is not
    // asked once the engine is gone. False when it went.
    virtual bool attendreQue(const std::function<bool()> &condition, quint32 delaiMs) = 0;
    // Runs action after delaiUs, unless the engine is gone by then.
    virtual void planifier(qint64 delaiUs, std::function<void()> action) = 0;
    virtual void raccrocherEtRappeler() = 0;

protected:
    ~CanalLiaison() = default;
};
