#include "link/CommandesDeLigne.h"

#include "link/Authentification.h"
#include "link/EnvoiEtendu.h"
#include "link/EnvoiFichier.h"
#include "link/ReceptionFichier.h"
#include "link/RolePoste.h"
#include "link/shared/TramesEtendues.h"
#include "serial/ParametresStation.h"

struct CommandesDeLigne::Commande
{
    const char *motCle;
    qsizetype longueurMin;
    bool deLaStation;                                        // RING is the modem's
    bool avantPreuve;                                        // taken from a station that has not proved its key yet
    bool (*traiter)(CommandesDeLigne &, const QByteArray &); // null: left to the owner
};

namespace {
using C = CommandesDeLigne;
namespace TE = TramesEtendues;
}

// A null handler leaves the text to the owner (its CommandeReçue).
const CommandesDeLigne::Commande *CommandesDeLigne::trouver(const QByteArray &texte)
{
    static const Commande commandes[] = {
        {"YAQUELQUUN?", 0, true, true, [](C &c, const QByteArray &t) { return c.mPoste.surTestDeLiaison(t); }},
        {"CLK", 17, true, true, [](C &c, const QByteArray &t) { return c.mPoste.surHorloge(t); }},
        {"STOP", 0, true, false, [](C &c, const QByteArray &t) { return c.mPoste.surStop(t); }},
        {"FICHIER", 0, true, false, [](C &c, const QByteArray &t) { return c.mReception.surAnnonce(t); }},
        {"RECEPFICHIER", 0, true, false, [](C &c, const QByteArray &t) { return c.mReception.surFichierEntier(t); }},
        {"RECEPGROSFIC", 0, true, false, [](C &c, const QByteArray &t) { return c.mReception.surPartie(t); }},
        {"RING", 0, false, false,
         [](C &c, const QByteArray &t) { return c.mPoste.surSonnerie(t); }}, // the modem's own passes as such
        {"JESUISAPPELANT", 0, true, false, [](C &c, const QByteArray &t) { return c.mRole.surDemandeAppelant(t); }},
        {"MESSAGE=", 0, true, false, nullptr},
        {TE::Offre, 0, true, false,
         [](C &c, const QByteArray &t) { return c.etendu() && (c.mReception.etendue().surOffre(t), true); }},
        {TE::OffreCodee, 0, true, false,
         [](C &c, const QByteArray &t) { return c.etendu() && (c.mReception.etendue().surOffreCodee(t), true); }},
        {TE::Donnees, 0, true, false,
         [](C &c, const QByteArray &t) { return c.etendu() && (c.mReception.etendue().surDonnees(t), true); }},
        {TE::Acquit, 0, true, false,
         [](C &c, const QByteArray &t) { return c.etendu() && (c.mEnvoi.etendu().surAcquit(t), true); }},
        {TE::Fin, 0, true, false,
         [](C &c, const QByteArray &t) { return c.etendu() && (c.mReception.etendue().surFin(t), true); }},
        {Authentification::Ouverture, 0, true, true, [](C &c, const QByteArray &t) { return c.mAuth.surOuverture(t); }},
        {Authentification::Confirmation, 0, true, true, [](C &c, const QByteArray &t) { return c.mAuth.surConfirmation(t); }},
        // Answers, awaited as such; one that comes after its wait is dropped.
        {TE::Pret, 0, false, false, [](C &c, const QByteArray &) { return c.etendu(); }},
        {TE::PretCode, 0, false, false, [](C &c, const QByteArray &) { return c.etendu(); }},
        {TE::Refus, 0, false, false,
         [](C &c, const QByteArray &t) { return c.etendu() && (c.mEnvoi.etendu().surRefus(t), true); }},
        {Authentification::Reponse, 0, false, true, [](C &, const QByteArray &) { return true; }},
        {Authentification::Refus, 0, false, true, [](C &, const QByteArray &) { return true; }},
    };
    for (const Commande &c : commandes)
        if (texte.startsWith(c.motCle) && texte.size() >= c.longueurMin)
            return &c;
    return nullptr;
}

bool CommandesDeLigne::estCommandeDeLigne(const QByteArray &texte)
{
    const Commande *commande = trouver(texte);
    return commande && commande->deLaStation;
}

std::pair<QByteArray, VerdictLiaison> CommandesDeLigne::testDeLiaison(const std::optional<QDateTime> &horloge, bool avecEvenement)
{
    const QByteArray chut = avecEvenement ? QByteArray() : QByteArray("CHUT!");
    if (horloge)
        return {"CLK" + horloge->toString(QStringLiteral("ddMMyyyyHHmmss")).toLatin1() + chut,
                VerdictLiaison::VerifieeAvecHorloge};
    return {"YAQUELQUUN?" + chut, avecEvenement ? VerdictLiaison::Verifiee : VerdictLiaison::Chut};
}

bool CommandesDeLigne::etendu() const
{
    return mParametres.ProtocoleEtendu;
}

bool CommandesDeLigne::traiter(const QByteArray &texte, bool texteDuModem)
{
    const Commande *commande = trouver(texte);
    // A late answer to a link test shows as "OUI"; the modem's own texts are not the station's.
    const bool permis = (commande && commande->avantPreuve) || texte.startsWith("OUI") || texteDuModem;
    if (!mAuth.autorise() && !permis)
        return mAuth.ignorer(texte);
    return commande && commande->traiter && commande->traiter(*this, texte);
}
