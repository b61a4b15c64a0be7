#include "link/Authentification.h"

#include "link/CanalLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Windows1252.h"
#include "securite/CanalChiffre.h"

namespace {
constexpr char prefixePrologue[] = "NAVETTE KK1\n";

bool estTestDeLiaison(const QByteArray &texte)
{
    return texte.startsWith("YAQUELQUUN?") || (texte.startsWith("CLK") && texte.size() >= 17);
}
}

bool Authentification::configurer(const QString &dossierConfiguration, const QString &section, const QString &cleDistante)
{
    QString erreur;
    mCle = CleStation::charger(mCanal.disque(), dossierConfiguration, section, erreur);
    mExigee = !cleDistante.isEmpty();
    mCleDistante = mExigee ? CleStation::lire(cleDistante) : std::nullopt;
    if (!mCle && mExigee) {
        mCanal.informer(erreur + QStringLiteral(" : rien ne sera échangé avec le poste distant."));
        return false;
    }
    if (mExigee && !mCleDistante) {
        mCanal.informer(QStringLiteral("CleDistante illisible (44 caractères base64 attendus, ceux de « navette --cle » "
                                          "sur l'autre poste) : rien ne sera échangé avec le poste distant."));
        return false;
    }
    if (!mCle)
        mCanal.informer(erreur);
    return true;
}

bool Authentification::etablie() const
{
    return mEtat == Etat::Etablie && mCanal.scellee();
}

QString Authentification::etat() const
{
    if (!mExigee)
        return QStringLiteral("non authentifiée");
    if (etablie())
        return QStringLiteral("chiffrée (empreinte %1)").arg(empreinteDistante());
    return QStringLiteral("en attente d'authentification");
}

void Authentification::oublier()
{
    lacher();
    mEchecs = 0;
    mRaisonDite = mIgnoreDit = mRetenuDit = mNonAuthentifieeDit = mRefusDit = false;
}

void Authentification::lacher()
{
    mEtat = Etat::Aucune;
    mPoignee.reset();
    mCanal.sceller(nullptr);
    mReconnu = mTestRepondu = false;
    ++mTour;
}

void Authentification::recommencer()
{
    // A handshake cut short by a test in clear is a failed try: replays and tests in
    // clear cannot hold the station between the two for ever.
    const bool interrompue = mEtat == Etat::Ouverture || mEtat == Etat::AttenteConfirmation;
    lacher();
    if (interrompue && ++mEchecs >= echecsAvantRaccrochage)
        raccrocher();
}

void Authentification::raccrocher()
{
    mCanal.informer(QStringLiteral("Poste distant refusé %1 fois : raccrochage.").arg(mEchecs));
    mEchecs = 0;
    mCanal.planifier(0, [this] { mCanal.raccrocherEtRappeler(); });
}

QByteArray Authentification::prologue(bool initiateur) const
{
    // What each showed in clear: a capability stripped or altered on the way breaks the handshake.
    const QByteArray nous = mCanal.reponseAuTest(), eux = mCanal.reponseDistante();
    return prefixePrologue + (initiateur ? nous : eux) + '\n' + (initiateur ? eux : nous);
}

qint32 Authentification::delai() const
{
    return qint32(DelaisMs::reponseLongue + 2 * mCanal.etat().allerRetourMs);
}

QString Authentification::deuxEmpreintes() const
{
    return QStringLiteral("ce poste %1, clé attendue %2").arg(empreinteLocale(), empreinteDistante());
}

void Authentification::veiller()
{
    // A test or its answer lost on the line leaves the two unrecognised, and the link unsealed
    // until the supervision's next test, minutes on: each asks again until the link is sealed.
    if (!mExigee || mTourVeille == mTour)
        return;
    mTourVeille = mTour;
    mCanal.planifier(qint64(relanceMs) * 1000, [this, tour = mTour] {
        if (tour != mTour || etablie() || !mCanal.etat().modemConnecte || mCanal.etat().termine)
            return;
        mTourVeille = ~0u;
        veiller();
        if (mEtat == Etat::Aucune && !mCanal.ligneOccupee())
            mCanal.testerLiaison(false); // last: the engine may end inside it
    });
}

void Authentification::apresReponseAuTest()
{
    veiller();
    mTestRepondu = true;
    if (mExigee && mReconnu && mEtat == Etat::Aucune && mCanal.etat().meneLaLiaison)
        planifierOuverture();
}

void Authentification::apresReconnaissance()
{
    veiller();
    mReconnu = true;
    if (!mExigee) {
        if (!std::exchange(mNonAuthentifieeDit, true))
            mCanal.informer(QStringLiteral("Liaison non authentifiée : aucune clé du poste distant (CleDistante) pour ce poste."));
        return;
    }
    if (etablie() || (mEtat != Etat::Aucune && mCanal.scellee()))
        return;
    mEtat = Etat::Aucune; // the keys went with the port
    if (!mCle || !mCleDistante) {
        echouer(QStringLiteral("la clé de ce poste ou CleDistante est illisible"));
        return;
    }
    if (!mCanal.etat().extensionActive) {
        echouer(QStringLiteral("il ne montre pas le protocole étendu, et ce poste n'échange qu'en liaison chiffrée (%1)")
                    .arg(deuxEmpreintes()));
        return;
    }
    // The leader opens once the other has its answer too; the other gives it a few seconds,
    // then opens itself: a crossing of two openings is settled by the keys.
    if (!mCanal.etat().meneLaLiaison)
        planifierOuverture(attenteDuMeneurMs);
    else if (mTestRepondu)
        planifierOuverture();
}

void Authentification::planifierOuverture(quint32 delaiMs, int essais)
{
    const quint32 tour = mTour;
    mCanal.planifier(qint64(delaiMs) * 1000, [this, essais, tour] {
        if (mCanal.etat().termine || mEtat != Etat::Aucune || !mCanal.etat().modemConnecte || tour != mTour)
            return;
        // A command under way keeps the line for now.
        if (mCanal.ligneOccupee()) {
            if (essais > 1)
                planifierOuverture(100, essais - 1);
            return;
        }
        ouvrir();
    });
}

void Authentification::ouvrir()
{
    mEtat = Etat::Ouverture;
    mPoignee = std::make_unique<Noise::PoigneeDeMainKK>(true, prologue(true), mCle->paire(), *mCleDistante);
    const std::optional<QByteArray> premier = mPoignee->ecrire();
    const ReponseCommande reponse = premier ? mCanal.commande(Ouverture + premier->toHex(), Reponse, delai(), Refus) : ReponseCommande{};
    if (reponse.perdue() || mEtat != Etat::Ouverture)
        return; // the connection ended, or the other's opening crossed ours and was taken
    if (reponse.issue == IssueCommande::Refusee) {
        const QString raison = Windows1252::versTexte(reponse.texte.mid(qstrlen(Refus)));
        echouer(QStringLiteral("il refuse la poignée de main (« %1 ») (%2)").arg(MGlobal::TexteDistant(raison, 200), deuxEmpreintes()));
        return;
    }
    if (!reponse.repondue()) {
        echouer(QStringLiteral("pas de réponse à la poignée de main (%1)").arg(deuxEmpreintes()));
        return;
    }
    if (!mPoignee->lire(QByteArray::fromHex(reponse.texte.mid(qstrlen(Reponse)))) || !mPoignee->terminee()) {
        echouer(QStringLiteral("sa réponse ne prouve pas la clé attendue (%1)").arg(deuxEmpreintes()));
        return;
    }
    installerCanal();
    const ReponseCommande confirmation = mCanal.commande(Confirmation, Confirmation, delai());
    if (confirmation.perdue())
        return;
    if (!confirmation.repondue()) {
        if (mEtat == Etat::AttenteConfirmation)
            echouer(QStringLiteral("la liaison chiffrée n'est pas confirmée (%1)").arg(deuxEmpreintes()));
        return;
    }
    etablir();
}

bool Authentification::surOuverture(const QByteArray &texte)
{
    if (!mExigee || !mCle || !mCleDistante) {
        if (!std::exchange(mRefusDit, true) && !mExigee)
            mCanal.informer(QStringLiteral("Le poste distant demande une liaison chiffrée : mettez sa clé (CleDistante) "
                                              "dans la section de ce poste pour l'accepter."));
        mCanal.repondre(Refus + Windows1252::depuisTexte(QStringLiteral("ce poste n'a pas de clé pour le vôtre (CleDistante)")));
        return true;
    }
    const bool croisement = mEtat == Etat::Ouverture;
    // Two openings crossed: the one from the larger key goes on.
    if (croisement && mCle->paire().publique > *mCleDistante)
        return true;
    if (mEtat == Etat::AttenteConfirmation || etablie())
        return true;
    mEtat = Etat::Aucune;
    mPoignee = std::make_unique<Noise::PoigneeDeMainKK>(false, prologue(false), mCle->paire(), *mCleDistante);
    const std::optional<QByteArray> reponse =
        mPoignee->lire(QByteArray::fromHex(texte.mid(qstrlen(Ouverture)))) ? mPoignee->ecrire() : std::nullopt;
    if (!reponse || !mPoignee->terminee()) {
        if (mCanal.repondre(Refus + Windows1252::depuisTexte(QStringLiteral("poignée de main invalide : clé ou reconnaissance différente"))).repondue())
            echouer(QStringLiteral("sa poignée de main ne prouve pas la clé attendue (%1)").arg(deuxEmpreintes()));
        return true;
    }
    if (!mCanal.repondre(Reponse + reponse->toHex()).repondue())
        return true;
    installerCanal();
    // A first message replayed from an earlier session parks us here: nobody confirms, and
    // the wait ends as a failed try.
    mCanal.planifier(qint64(delai()) * 1000, [this, tour = mTour] {
        if (tour == mTour && mEtat == Etat::AttenteConfirmation)
            echouer(QStringLiteral("la liaison chiffrée n'est pas confirmée (%1)").arg(deuxEmpreintes()));
    });
    // Our own opening waits for an answer that will not come: it gives way without an error.
    if (croisement)
        mCanal.cederAttente();
    return true;
}

void Authentification::installerCanal()
{
    auto canal = std::make_unique<CanalChiffre>(mPoignee->envoi(), mPoignee->reception(), *mCleDistante);
    mPoignee.reset();
    mEtat = Etat::AttenteConfirmation;
    ++mTour;
    mCanal.sceller(std::move(canal));
}

bool Authentification::surConfirmation(const QByteArray &)
{
    // Only a sealed one counts: FComm opened it with this connection's keys.
    if (mEtat != Etat::AttenteConfirmation || !mCanal.scellee())
        return true;
    if (mCanal.repondre(Confirmation).repondue() && mEtat == Etat::AttenteConfirmation)
        etablir();
    return true;
}

void Authentification::etablir()
{
    mEtat = Etat::Etablie;
    mEchecs = 0;
    mCanal.informer(QStringLiteral("Liaison chiffrée avec le poste distant (empreinte %1)").arg(empreinteDistante()));
    // The scanner held the files back until now.
    if (mCanal.etat().meneLaLiaison)
        mCanal.posteDistantReconnu();
}

void Authentification::echouer(const QString &raison)
{
    mEtat = Etat::Aucune;
    mPoignee.reset();
    mCanal.sceller(nullptr);
    if (!std::exchange(mRaisonDite, true))
        mCanal.informer(QStringLiteral("Poste distant refusé : ") + raison);
    if (++mEchecs < echecsAvantRaccrochage) {
        // A test in clear at once: the other drops what it may hold of this handshake, both
        // recognise each other again, and the next try follows.
        mCanal.planifier(1'000'000, [this, tour = mTour] {
            if (tour == mTour && mCanal.etat().modemConnecte && !mCanal.etat().termine && !mCanal.ligneOccupee())
                mCanal.testerLiaison(false);
        });
        return;
    }
    raccrocher();
}

bool Authentification::ignorer(const QByteArray &texte)
{
    if (std::exchange(mIgnoreDit, true))
        return true;
    const qsizetype mot = std::find_if_not(texte.begin(), texte.end(), [](char c) { return std::isalpha(uchar(c)) || c == '='; }) - texte.begin();
    mCanal.informer(mot == 0 ? QStringLiteral("Poste distant non authentifié : une trame chiffrée ou illisible est ignorée.")
                                : QStringLiteral("Poste distant non authentifié : « %1 » est ignoré.")
                                      .arg(MGlobal::TexteDistant(Windows1252::versTexte(texte.left(std::min<qsizetype>(mot, 16))), 16)));
    return true;
}

bool Authentification::peutEnvoyer(const QByteArray &texte)
{
    if (autorise() || estTestDeLiaison(texte) || texte.startsWith("OUI") || texte.startsWith("XK") || texte == "STOP")
        return true;
    if (!std::exchange(mRetenuDit, true))
        mCanal.informer(QStringLiteral("Liaison non authentifiée : rien d'autre que les tests de liaison ne part vers le poste distant."));
    return false;
}

void Authentification::surTrameRefusee(const QByteArray &trame)
{
    ++mTramesRefusees;
    // A link test in clear: the other station started over without our keys (it restarted
    // on a cable). The keys go; the test is answered, and a new handshake follows.
    if (estTestDeLiaison(trame)) {
        mCanal.informer(QStringLiteral("Le poste distant recommence sans la liaison chiffrée : nouvelle authentification."));
        recommencer();
        mCanal.redemanderCapacites();
        return;
    }
    if (mTramesRefusees == 1 || mTramesRefusees % 100 == 0)
        mCanal.informer(QStringLiteral("Trame refusée (rejouée, abîmée ou hors de cette liaison chiffrée) : %1 depuis le démarrage.")
                               .arg(mTramesRefusees));
}
