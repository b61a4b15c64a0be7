#include "link/Authentification.h"

#include "link/CInterlocuteur.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/Plateforme.h"
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
    mCle = CleStation::charger(mPoste.mContexte.env.disque, dossierConfiguration, section, erreur);
    mExigee = !cleDistante.isEmpty();
    mCleDistante = mExigee ? CleStation::lire(cleDistante) : std::nullopt;
    if (!mCle && mExigee) {
        mPoste.Information(erreur + QStringLiteral(" : rien ne sera échangé avec le poste distant."));
        return false;
    }
    if (mExigee && !mCleDistante) {
        mPoste.Information(QStringLiteral("CleDistante illisible (44 caractères base64 attendus, ceux de « navette --cle » "
                                          "sur l'autre poste) : rien ne sera échangé avec le poste distant."));
        return false;
    }
    if (!mCle)
        mPoste.Information(erreur);
    return true;
}

bool Authentification::etablie() const
{
    return mEtat == Etat::Etablie && mPoste.FrmComm && mPoste.FrmComm->canal();
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
    mEtat = Etat::Aucune;
    mPoignee.reset();
    if (mPoste.FrmComm)
        mPoste.FrmComm->chiffrer(nullptr);
    mReconnu = mTestRepondu = false;
    ++mConnexions;
    mEchecs = 0;
    mRaisonDite = mIgnoreDit = mRetenuDit = mNonAuthentifieeDit = mRefusDit = false;
}

QByteArray Authentification::prologue(bool initiateur) const
{
    // What each showed in clear: a capability stripped or altered on the way breaks the handshake.
    const QByteArray nous = mPoste.reponseAuTestDeLiaison(), eux = mPoste.mReponseDistante;
    return prefixePrologue + (initiateur ? nous : eux) + '\n' + (initiateur ? eux : nous);
}

qint32 Authentification::delai() const
{
    return qint32(3000 + 2 * mPoste.mAllerRetourMs);
}

QString Authentification::deuxEmpreintes() const
{
    return QStringLiteral("ce poste %1, clé attendue %2").arg(empreinteLocale(), empreinteDistante());
}

void Authentification::apresReponseAuTest()
{
    mTestRepondu = true;
    if (mExigee && mReconnu && mEtat == Etat::Aucune && mPoste.meneLaLiaison())
        planifierOuverture();
}

void Authentification::apresReconnaissance()
{
    mReconnu = true;
    if (!mExigee) {
        if (!std::exchange(mNonAuthentifieeDit, true))
            mPoste.Information(QStringLiteral("Liaison non authentifiée : aucune clé du poste distant (CleDistante) pour ce poste."));
        return;
    }
    if (etablie() || (mEtat != Etat::Aucune && mPoste.FrmComm && mPoste.FrmComm->canal()))
        return;
    mEtat = Etat::Aucune; // the keys went with the port
    if (!mCle || !mCleDistante) {
        echouer(QStringLiteral("la clé de ce poste ou CleDistante est illisible"));
        return;
    }
    if (!mPoste.mPartieDistante) {
        echouer(QStringLiteral("il ne montre pas le protocole étendu, et ce poste n'échange qu'en liaison chiffrée (%1)")
                    .arg(deuxEmpreintes()));
        return;
    }
    // The leader opens once the other has its answer too; the other gives it a few seconds,
    // then opens itself: a crossing of two openings is settled by the keys.
    if (!mPoste.meneLaLiaison())
        planifierOuverture(attenteDuMeneurMs);
    else if (mTestRepondu)
        planifierOuverture();
}

void Authentification::planifierOuverture(quint32 delaiMs, int essais)
{
    const auto vivant = mPoste.mVie.temoin();
    const quint32 connexion = mConnexions;
    mPoste.mContexte.env.plateforme.planifier(qint64(delaiMs) * 1000, [this, vivant, essais, connexion] {
        if (!vivant || !mPoste.FrmComm || mEtat != Etat::Aucune || !mPoste.mbModemConnecte || connexion != mConnexions)
            return;
        // A command under way keeps the line for now.
        if (mPoste.FrmComm->occupe()) {
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
    const auto vivant = mPoste.mVie.temoin();
    QByteArray reponse;
    const bool repondu = premier && mPoste.EnvoyerCommande(Ouverture + premier->toHex(), Reponse, delai(), &reponse, Refus);
    if (!vivant || mEtat != Etat::Ouverture)
        return; // the connection ended, or the other's opening crossed ours and was taken
    if (!repondu) {
        const QString raison = Windows1252::versTexte(reponse.mid(qstrlen(Refus)));
        echouer(reponse.startsWith(Refus) ? QStringLiteral("il refuse la poignée de main (« %1 ») (%2)")
                                                .arg(MGlobal::TexteDistant(raison, 200), deuxEmpreintes())
                                          : QStringLiteral("pas de réponse à la poignée de main (%1)").arg(deuxEmpreintes()));
        return;
    }
    if (!mPoignee->lire(QByteArray::fromHex(reponse.mid(qstrlen(Reponse)))) || !mPoignee->terminee()) {
        echouer(QStringLiteral("sa réponse ne prouve pas la clé attendue (%1)").arg(deuxEmpreintes()));
        return;
    }
    installerCanal();
    if (!mPoste.EnvoyerCommande(Confirmation, Confirmation, delai()) || !vivant) {
        if (vivant && mEtat == Etat::AttenteConfirmation)
            echouer(QStringLiteral("la liaison chiffrée n'est pas confirmée (%1)").arg(deuxEmpreintes()));
        return;
    }
    etablir();
}

bool Authentification::surOuverture(const QByteArray &texte)
{
    const auto vivant = mPoste.mVie.temoin();
    if (!mExigee || !mCle || !mCleDistante) {
        if (!std::exchange(mRefusDit, true) && !mExigee)
            mPoste.Information(QStringLiteral("Le poste distant demande une liaison chiffrée : mettez sa clé (CleDistante) "
                                              "dans la section de ce poste pour l'accepter."));
        if (vivant)
            mPoste.repondre(Refus + Windows1252::depuisTexte(QStringLiteral("ce poste n'a pas de clé pour le vôtre (CleDistante)")));
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
        mPoste.repondre(Refus + Windows1252::depuisTexte(QStringLiteral("poignée de main invalide : clé ou reconnaissance différente")));
        if (vivant)
            echouer(QStringLiteral("sa poignée de main ne prouve pas la clé attendue (%1)").arg(deuxEmpreintes()));
        return true;
    }
    mPoste.repondre(Reponse + reponse->toHex());
    if (!vivant)
        return true;
    installerCanal();
    // Our own opening waits for an answer that will not come: it gives way without an error.
    if (croisement && mPoste.FrmComm)
        mPoste.FrmComm->cederAttente();
    return true;
}

void Authentification::installerCanal()
{
    auto canal = std::make_unique<CanalChiffre>(mPoignee->envoi(), mPoignee->reception(), *mCleDistante);
    mPoignee.reset();
    mEtat = Etat::AttenteConfirmation;
    if (mPoste.FrmComm)
        mPoste.FrmComm->chiffrer(std::move(canal));
}

bool Authentification::surConfirmation(const QByteArray &)
{
    // Only a sealed one counts: FComm opened it with this connection's keys.
    if (mEtat != Etat::AttenteConfirmation || !mPoste.FrmComm || !mPoste.FrmComm->canal())
        return true;
    const auto vivant = mPoste.mVie.temoin();
    mPoste.repondre(Confirmation);
    if (vivant && mEtat == Etat::AttenteConfirmation)
        etablir();
    return true;
}

void Authentification::etablir()
{
    mEtat = Etat::Etablie;
    const auto vivant = mPoste.mVie.temoin();
    mPoste.Information(QStringLiteral("Liaison chiffrée avec le poste distant (empreinte %1)").arg(empreinteDistante()));
    // The scanner held the files back until now.
    if (vivant && mPoste.meneLaLiaison())
        mPoste.mContexte.proprietaire.posteDistantReconnu();
}

void Authentification::echouer(const QString &raison)
{
    mEtat = Etat::Aucune;
    mPoignee.reset();
    if (mPoste.FrmComm)
        mPoste.FrmComm->chiffrer(nullptr);
    const auto vivant = mPoste.mVie.temoin();
    if (!std::exchange(mRaisonDite, true))
        mPoste.Information(QStringLiteral("Poste distant refusé : ") + raison);
    if (!vivant)
        return;
    if (++mEchecs < echecsAvantRaccrochage) {
        // A test in clear at once: the other drops what it may hold of this handshake, both
        // recognise each other again, and the next try follows.
        mPoste.mContexte.env.plateforme.planifier(1'000'000, [this, vivant, connexion = mConnexions] {
            if (vivant && connexion == mConnexions && mPoste.mbModemConnecte && mPoste.FrmComm && !mPoste.FrmComm->occupe())
                mPoste.TesterConnexion(false);
        });
        return;
    }
    mPoste.Information(QStringLiteral("Poste distant refusé %1 fois : raccrochage.").arg(mEchecs));
    mEchecs = 0;
    mPoste.mContexte.env.plateforme.planifier(0, [this, vivant] {
        if (vivant)
            mPoste.raccrocherEtRappeler();
    });
}

bool Authentification::ignorer(const QByteArray &texte)
{
    if (std::exchange(mIgnoreDit, true))
        return true;
    const qsizetype mot = std::find_if_not(texte.begin(), texte.end(), [](char c) { return std::isalpha(uchar(c)) || c == '='; }) - texte.begin();
    mPoste.Information(mot == 0 ? QStringLiteral("Poste distant non authentifié : une trame chiffrée ou illisible est ignorée.")
                                : QStringLiteral("Poste distant non authentifié : « %1 » est ignoré.")
                                      .arg(MGlobal::TexteDistant(Windows1252::versTexte(texte.left(std::min<qsizetype>(mot, 16))), 16)));
    return true;
}

bool Authentification::peutEnvoyer(const QByteArray &texte)
{
    if (autorise() || estTestDeLiaison(texte) || texte.startsWith("OUI") || texte.startsWith("XK") || texte == "STOP")
        return true;
    if (!std::exchange(mRetenuDit, true))
        mPoste.Information(QStringLiteral("Liaison non authentifiée : rien d'autre que les tests de liaison ne part vers le poste distant."));
    return false;
}

void Authentification::surTrameRefusee(const QByteArray &trame)
{
    ++mTramesRefusees;
    // A link test in clear: the other station started over without our keys (it restarted
    // on a cable). The keys go; the test is answered, and a new handshake follows.
    if (estTestDeLiaison(trame)) {
        mPoste.Information(QStringLiteral("Le poste distant recommence sans la liaison chiffrée : nouvelle authentification."));
        oublier();
        mPoste.oublierCapacites();
        mPoste.mCapacitesADemander = true;
        return;
    }
    if (mTramesRefusees == 1 || mTramesRefusees % 100 == 0)
        mPoste.Information(QStringLiteral("Trame refusée (rejouée, abîmée ou hors de cette liaison chiffrée) : %1 depuis le démarrage.")
                               .arg(mTramesRefusees));
}
