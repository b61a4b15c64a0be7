#pragma once

#include "link/VerdictLiaison.h"

#include <QByteArray>
#include <QDateTime>

#include <optional>
#include <utility>

class Authentification;
class EnvoiFichier;
class ReceptionFichier;
class RolePoste;
struct ParametresStation;

// The texts the other station (or the modem, for RING) sends unasked, and who takes each: the
// engine for the link test, the clock, the hang-up and the role; the reception, the sends and
// the handshake for theirs. Until the other station has proved its key, only the link test
// and the handshake are taken.
class CommandesDeLigne
{
public:
    // What the engine answers itself.
    class Poste
    {
    public:
        virtual bool surTestDeLiaison(const QByteArray &texte) = 0;
        virtual bool surHorloge(const QByteArray &texte) = 0;
        virtual bool surStop(const QByteArray &texte) = 0;
        virtual bool surSonnerie(const QByteArray &texte) = 0;

    protected:
        ~Poste() = default;
    };

    CommandesDeLigne(Poste &poste, RolePoste &role, ReceptionFichier &reception, EnvoiFichier &envoi, Authentification &auth,
                     const ParametresStation &parametres)
        : mPoste(poste), mRole(role), mReception(reception), mEnvoi(envoi), mAuth(auth), mParametres(parametres)
    {}

    // False for an answer or a message, left to the owner. texteDuModem: the driver's or the
    // modem's own text, not a frame.
    bool traiter(const QByteArray &texte, bool texteDuModem);
    // A text the other station sends as a command of its own, never as an answer.
    static bool estCommandeDeLigne(const QByteArray &texte);
    // Our link test, with the clock when given; silent (no event at the other end) unless asked.
    static std::pair<QByteArray, VerdictLiaison> testDeLiaison(const std::optional<QDateTime> &horloge, bool avecEvenement);

private:
    struct Commande;
    static const Commande *trouver(const QByteArray &texte);
    // The extension's texts, each a message to the owner when this station has it off.
    bool etendu() const;

    Poste &mPoste;
    RolePoste &mRole;
    ReceptionFichier &mReception;
    EnvoiFichier &mEnvoi;
    Authentification &mAuth;
    const ParametresStation &mParametres;
};
