#pragma once

#include "link/AvancementFichier.h"
#include "link/DossiersPoste.h"
#include "link/Supervision.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <type_traits>

class CanalChiffre;
class Disque;
class ErreursDeLigne;
struct ParametresStation;

// How long the other station has, where the engine waits for its answer.
namespace DelaisMs {
inline constexpr qint32 reponse = 2000;       // to a command, by default
inline constexpr qint32 reponseLongue = 3000; // to a link test, an announce, a slice; an answer of ours going out
}

// How a text sent to the other station ended.
enum class IssueCommande {
    Repondue, // the awaited answer came (or none was awaited and the text went out)
    Refusee,  // the other station answered with the refusal given
    Silence,  // no answer in time, or the line would not take the text
    Perdue,   // the line is gone: the carrier, the port, or a hang-up
    Fin,      // the engine is gone, and the caller with it: return at once, touch nothing
};

struct ReponseCommande
{
    IssueCommande issue = IssueCommande::Silence;
    QByteArray texte; // the answer or the refusal, as it came
    bool repondue() const { return issue == IssueCommande::Repondue; }
    bool perdue() const { return issue == IssueCommande::Perdue || fin(); }
    bool fin() const { return issue == IssueCommande::Fin; }
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
    quint32 pertesPorteuse = ~0u; // carrier losses of the driver (~0: no driver)
    quint32 epoque = ~0u;         // changes with each connection and each set of keys
    bool extensionActive = false; // both stations have our extension on
    bool crcEtendu = true;        // the extension's texts carry their CRC (the link is not sealed)
    bool meneLaLiaison = false;
    bool ligneDirecte = false;
    qint32 partieDistante = 0; // the longest slice the other station takes
    bool memoireDistante = false; // it keeps the files exchanged, and takes them as references
    quint32 allerRetourMs = 0;
    qint64 octetsParSeconde = 0;
};

// How far one of a part's waits goes when the link ends meanwhile.
enum class Portee {
    Liaison, // it stops with the link: the engine ending, or its driver let go
    Etape,   // it runs to its end (storing a file before its acknowledgement, a hang-up),
             // and stops only once the engine itself is gone
};

// What a part asks the user, through the engine's owner.
struct Question
{
    enum class Genre {
        Avertissement, // an OK box
        Delai,         // a box that answers itself after `secondes` (OK by default)
        Saisie,        // a line of text
    };
    Genre genre = Genre::Avertissement;
    QString texte;
    QString titre;
    int secondes = 0;
};

struct ReponseQuestion
{
    bool confirmee = false; // closed by OK, or a text typed
    QString saisie;
};

// The one way a part of the link engine (the connection, a send, a reception, the
// handshake…) reaches the rest of it. No part holds the engine, its driver, its platform or
// its owner: it gets what it needs as values.
class CanalLiaison
{
public:
    // ---- Calls that may run the event loop. The engine can be gone when one returns; each
    // says so as IssueCommande::Fin, an empty optional or false, and the part then returns
    // at once without touching anything.

    // Sends a text and waits up to delaiMs for an answer beginning with attendue (none: the
    // text is only written). An answer beginning with refus ends the wait as refused.
    virtual ReponseCommande commande(const QByteArray &texte, const QByteArray &attendue = {}, qint32 delaiMs = DelaisMs::reponse,
                                     const QByteArray &refus = {}) = 0;
    // The answer to the other station's command: Repondue once it went, else why not.
    virtual ReponseCommande repondre(const QByteArray &texte) = 0;
    // A link test; the owner is told (avecEvenement) and the capabilities noted. Whether the
    // other station answered.
    virtual std::optional<bool> testerLiaison(bool avecEvenement) = 0;
    // A call that just came up waits for its first link tests, so a file goes out the best way.
    virtual bool attendreCapacites() = 0;
    // The port opened (or already open).
    virtual std::optional<bool> ouvrirPort() = 0;
    // The other station answered on a line no modem reported up: the link is up, the owner
    // told. False when the link ended meanwhile.
    virtual bool lienConstate() = 0;
    // The port closed, its driver kept: false once the engine is gone.
    virtual bool fermerPort() = 0;
    // A text written to the modem itself (in command mode), and attendu awaited: whether it came.
    virtual std::optional<bool> ecrireAuModem(const QByteArray &texte, const QByteArray &attendu, qint32 delaiMs,
                                              Portee portee) = 0;
    // A pause with events running; 0: the events waiting now, once.
    virtual bool pause(qint32 ms, Portee portee) = 0;
    virtual std::optional<ReponseQuestion> demander(const Question &question, Portee portee) = 0;
    // The link taken down: the farewell, the modem hung up, the port closed.
    virtual bool couper(Portee portee) = 0;
    // Taken down, then after pauseMs up again: whether it came up.
    virtual std::optional<bool> raccrocherEtRappeler(qint32 pauseMs = 0) = 0;
    // Until condition holds or delaiMs passed; the condition is not asked once the engine is gone.
    virtual bool attendreQue(const std::function<bool()> &condition, quint32 delaiMs) = 0;

    // One of the part's own steps that runs the event loop (storing a file, a stamped name):
    // its value, or nothing once the engine is gone.
    template <typename Etape>
    auto mener(Etape &&etape)
    {
        return conduire(Portee::Etape, etape);
    }

    // ---- Calls that never run the event loop: the engine is still there after each.

    virtual void informer(const QString &texte) = 0;
    // How far the file going out, or coming in, has gone; none once it is done.
    virtual void avancementEmission(const AvancementFichier &avancement) = 0;
    virtual void avancementReception(const AvancementFichier &avancement) = 0;
    // The count of line errors, and what each number of them calls for.
    virtual ErreursDeLigne &erreurs() = 0;

    virtual void armer(GenreSupervision genre, bool relance = false) = 0;
    virtual void arreterSupervision() = 0;
    virtual void attacherMinuterie() = 0;
    // Runs action after delaiUs, from the event loop, unless the engine is gone by then.
    virtual void planifier(qint64 delaiUs, std::function<void()> action) = 0;

    // A file stored whole, at chemin.
    virtual void fichierRecu(const QString &chemin) = 0;
    // A file began to arrive: the outgoing scanner holds its files meanwhile.
    virtual void receptionCommencee() = 0;
    // It ended: whole (the other station's turn is over), or given up.
    virtual void receptionFinie(bool entiere) = 0;
    // A send has ended: the supervision it held goes to what the line does next.
    virtual void finEnvoi() = 0;
    // The other station answered as one of ours: the scanner need not wait for it any longer.
    virtual void posteDistantReconnu() = 0;
    // The hourglass pointer while the modem is being set up.
    virtual void curseurAttente(bool attente) = 0;
    // The other station's capabilities are asked again (the link starts over).
    virtual void redemanderCapacites() = 0;
    // The calling role and the other's number; written to the station's section when asked.
    virtual void changerRole(bool appelant, const QString &numero, bool enregistrer) = 0;

    // The port and its driver.
    virtual bool portOuvert() const = 0;
    // A command is being written or a received one handled.
    virtual bool ligneOccupee() const = 0;
    // The wait under way (for an answer) ends now, unanswered.
    virtual void arreterAttente() = 0;
    // The wait under way gives way: the answer it waits for will not come, and that is no error.
    virtual void cederAttente() = 0;
    // No modem answered on the cable: nothing will report the link.
    virtual void noterSansModem(bool sansModem) = 0;
    // The sealed link: the keys every frame goes under from now on, none to go in clear.
    virtual void sceller(std::unique_ptr<CanalChiffre> canal) = 0;
    virtual bool scellee() const = 0;

    virtual EtatLigne etat() const = 0;
    virtual QByteArray reponseAuTest() const = 0;
    virtual QByteArray reponseDistante() const = 0; // its answer to our link test, as it came
    virtual const ParametresStation &parametres() const = 0;
    virtual DossiersPoste dossiers() const = 0;
    virtual QString argumentLigneCommande() const = 0;
    virtual Disque &disque() = 0;
    virtual quint32 tickMs() const = 0;
    virtual QDateTime maintenant() const = 0;
    quint32 ecouleDepuis(quint32 tick) const { return tickMs() - tick; }

protected:
    ~CanalLiaison() = default;

    // A step run with events running, and its value: nothing (false for a step without one)
    // once it ended the engine, or the link too for Portee::Liaison.
    template <typename Etape>
    auto conduire(Portee portee, Etape &&etape)
    {
        using T = std::invoke_result_t<Etape &>;
        if constexpr (std::is_void_v<T>) {
            return executer(portee, etape);
        } else {
            std::optional<T> valeur;
            if (!executer(portee, [&] { valeur.emplace(etape()); }))
                return std::optional<T>();
            return valeur;
        }
    }
    // Runs a step with events running: false when it ended the engine (Etape), or the link
    // too (Liaison).
    virtual bool executer(Portee portee, const std::function<void()> &etape) = 0;
};
