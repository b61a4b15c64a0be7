#include "link/CanalPoste.h"

#include "link/CInterlocuteur.h"
#include "link/EnvoiEtendu.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/EtatCase.h"
#include "platform/Plateforme.h"
#include "securite/CanalChiffre.h"

ReponseCommande CanalPoste::commande(const QByteArray &texte, const QByteArray &attendue, qint32 delaiMs, const QByteArray &refus)
{
    FComm *ligne = mPoste.FrmComm.get();
    const quint32 epoque = ligne ? ligne->epoque() : 0;
    ReponseCommande reponse;
    const auto repondue = mener([&] { return mPoste.EnvoyerCommande(texte, attendue, delaiMs, &reponse.texte, refus); });
    if (!repondue)
        reponse.issue = IssueCommande::Fin;
    else if (!mPoste.FrmComm || mPoste.mEtat.horsLigne || mPoste.mSupervision.genre() == GenreSupervision::Deconnexion)
        reponse.issue = IssueCommande::Perdue;
    else if (!*repondue && mPoste.FrmComm->epoque() != epoque)
        reponse.issue = IssueCommande::Perdue; // the connection or its keys changed meanwhile: nothing answered it
    else if (*repondue)
        reponse.issue = IssueCommande::Repondue;
    else if (!refus.isEmpty() && reponse.texte.startsWith(refus))
        reponse.issue = IssueCommande::Refusee;
    return reponse;
}

ReponseCommande CanalPoste::repondre(const QByteArray &texte)
{
    ReponseCommande reponse = commande(texte, QByteArray(), DelaisMs::reponseLongue, QByteArray());
    // Nothing was awaited: short of losing the link, the answer counts as given.
    if (!reponse.perdue())
        reponse.issue = IssueCommande::Repondue;
    return reponse;
}

bool CanalPoste::executer(Portee portee, const std::function<void()> &etape)
{
    const auto vivant = mPoste.mVie.temoin();
    etape();
    if (!vivant)
        return false;
    return portee == Portee::Etape || (!mPoste.mEtat.termine && mPoste.FrmComm);
}

std::optional<bool> CanalPoste::testerLiaison(bool avecEvenement)
{
    return conduire(Portee::Liaison, [&] { return mPoste.TesterConnexion(avecEvenement); });
}

bool CanalPoste::attendreCapacites()
{
    return mPoste.mReconnaissance.attendre();
}

std::optional<bool> CanalPoste::ouvrirPort()
{
    return conduire(Portee::Liaison, [&] { return mPoste.FrmComm && mPoste.FrmComm->Connecter(); });
}

std::optional<bool> CanalPoste::ecrireAuModem(const QByteArray &texte, const QByteArray &attendu, qint32 delaiMs, Portee portee)
{
    return conduire(portee, [&] { return mPoste.FrmComm && mPoste.FrmComm->Ecrire(texte, attendu, delaiMs, false); });
}

bool CanalPoste::pause(qint32 ms, Portee portee)
{
    Plateforme &plateforme = mPoste.mContexte.env.plateforme;
    return executer(portee, [&] {
        if (ms == 0)
            plateforme.pomper();
        else
            MGlobal::Attendre(plateforme, ms);
    });
}

std::optional<ReponseQuestion> CanalPoste::demander(const Question &question, Portee portee)
{
    BoitesMessage &boites = mPoste.mContexte.env.boites;
    return conduire(portee, [&] {
        switch (question.genre) {
        case Question::Genre::Avertissement:
            return ReponseQuestion{boites.afficher(question.texte, Boutons::OK, question.titre) == Reponse::OK, {}};
        case Question::Genre::Delai:
            return ReponseQuestion{boites.afficherTempo(question.texte, question.titre, question.secondes, true, EtatFenetre::Minimisee), {}};
        case Question::Genre::Saisie:
            break;
        }
        const QString saisie = boites.saisir(question.texte, question.titre);
        return ReponseQuestion{!saisie.isEmpty(), saisie};
    });
}

bool CanalPoste::couper(Portee portee)
{
    return executer(portee, [&] { mPoste.Déconnecter(); });
}

std::optional<bool> CanalPoste::raccrocherEtRappeler(qint32 pauseMs)
{
    if (!couper(Portee::Etape) || mPoste.mEtat.termine)
        return std::nullopt;
    if (pauseMs > 0 && !pause(pauseMs, Portee::Liaison))
        return std::nullopt;
    return conduire(Portee::Liaison, [&] { return mPoste.Connecter(); });
}

bool CanalPoste::attendreQue(const std::function<bool()> &condition, quint32 delaiMs)
{
    const auto vivant = mPoste.mVie.temoin();
    mPoste.mContexte.env.plateforme.attendreQue([&] { return !vivant || condition(); }, delaiMs);
    return bool(vivant);
}

bool CanalPoste::lienConstate()
{
    if (std::exchange(mPoste.mEtat.modemConnecte, true))
        return true;
    return executer(Portee::Liaison, [&] { mPoste.ModemEtatConnexionChange(true); });
}

bool CanalPoste::fermerPort()
{
    return executer(Portee::Etape, [&] {
        if (mPoste.FrmComm)
            mPoste.FrmComm->Déconnecter();
    });
}

void CanalPoste::informer(const QString &texte)
{
    mPoste.Information(texte);
}

void CanalPoste::avancementEmission(const AvancementFichier &avancement)
{
    mPoste.PartieGrosFichier = avancement.texte();
}

void CanalPoste::avancementReception(const AvancementFichier &avancement)
{
    mPoste.mPartieRecue = avancement.texte();
}

ErreursDeLigne &CanalPoste::erreurs()
{
    return mPoste.NbreErreurs;
}

void CanalPoste::armer(GenreSupervision genre, bool relance)
{
    mPoste.armer(genre, relance);
}

void CanalPoste::arreterSupervision()
{
    mPoste.mSupervision.arreter();
}

void CanalPoste::attacherMinuterie()
{
    mPoste.AttacherMinuterie();
}

void CanalPoste::planifier(qint64 delaiUs, std::function<void()> action)
{
    mPoste.mContexte.env.plateforme.planifier(delaiUs, [vivant = mPoste.mVie.temoin(), action = std::move(action)] {
        if (vivant)
            action();
    });
}

void CanalPoste::fichierRecu(const QString &chemin)
{
    mPoste.FichierReçu(chemin);
}

void CanalPoste::receptionCommencee()
{
    mPoste.mContexte.proprietaire.setCocheSynchro(EtatCase::Decoche);
}

void CanalPoste::receptionFinie(bool entiere)
{
    // The scanner, off while the file arrived, takes its turn again.
    ProprietaireLiaison &proprietaire = mPoste.mContexte.proprietaire;
    if (proprietaire.valeurCocheConnecter() == EtatCase::Coche)
        proprietaire.setCocheSynchro(EtatCase::Coche);
    if (entiere)
        proprietaire.receptionTerminee();
}

void CanalPoste::finEnvoi()
{
    mPoste.finEnvoi();
}

void CanalPoste::posteDistantReconnu()
{
    mPoste.mContexte.proprietaire.posteDistantReconnu();
}

void CanalPoste::curseurAttente(bool attente)
{
    mPoste.mContexte.proprietaire.curseurAttente(attente);
}

void CanalPoste::redemanderCapacites()
{
    mPoste.mReconnaissance.redemander(); // forgets what it showed first
    mPoste.mEnvoi.etendu().oublierLigne();
}

void CanalPoste::changerRole(bool appelant, const QString &numero, bool enregistrer)
{
    mPoste.Parametres.PosteAppellant = appelant;
    mPoste.Parametres.NumTelAppel = numero;
    if (enregistrer)
        mPoste.EcrireConfiguration();
}

bool CanalPoste::portOuvert() const
{
    const FComm *ligne = mPoste.FrmComm.get();
    return ligne && ligne->Port && ligne->Port->Actif();
}

bool CanalPoste::ligneOccupee() const
{
    return mPoste.FrmComm && mPoste.FrmComm->occupe();
}

void CanalPoste::arreterAttente()
{
    if (mPoste.FrmComm)
        mPoste.FrmComm->ArréterAttendre();
}

void CanalPoste::cederAttente()
{
    if (mPoste.FrmComm)
        mPoste.FrmComm->cederAttente();
}

void CanalPoste::noterSansModem(bool sansModem)
{
    if (mPoste.FrmComm)
        mPoste.FrmComm->setLigneSansModem(sansModem);
}

void CanalPoste::sceller(std::unique_ptr<CanalChiffre> canal)
{
    if (mPoste.FrmComm)
        mPoste.FrmComm->chiffrer(std::move(canal));
}

bool CanalPoste::scellee() const
{
    return mPoste.FrmComm && mPoste.FrmComm->canal();
}

EtatLigne CanalPoste::etat() const
{
    const CInterlocuteur &p = mPoste;
    const FComm *ligne = p.FrmComm.get();
    return {.modemConnecte = p.mEtat.modemConnecte,
            .horsLigne = p.mEtat.horsLigne,
            .sansModem = p.mConnexion.sansModem(),
            .termine = p.mEtat.termine,
            .deconnexions = p.mEtat.deconnexions,
            .pertesPorteuse = ligne ? ligne->PertesPorteuse() : ~0u,
            .epoque = ligne ? ligne->epoque() : ~0u,
            .extensionActive = p.extensionActive(),
            .crcEtendu = p.crcEtendu(),
            .meneLaLiaison = p.meneLaLiaison(),
            .ligneDirecte = p.ligneDirecte(),
            .partieDistante = p.mReconnaissance.partieDistante(),
            .memoireDistante = p.extensionActive() && p.mReconnaissance.memoireDistante(),
            .allerRetourMs = p.mReconnaissance.allerRetourMs(),
            .octetsParSeconde = ligne ? ligne->octetsParSeconde() : 960};
}

QByteArray CanalPoste::reponseAuTest() const
{
    return mPoste.reponseAuTestDeLiaison();
}

QByteArray CanalPoste::reponseDistante() const
{
    return mPoste.mReconnaissance.reponseDistante();
}

const ParametresStation &CanalPoste::parametres() const
{
    return mPoste.Parametres;
}

DossiersPoste CanalPoste::dossiers() const
{
    return mPoste.dossiers();
}

QString CanalPoste::argumentLigneCommande() const
{
    return mPoste.mContexte.argumentLigneCommande;
}

Disque &CanalPoste::disque()
{
    return mPoste.mContexte.env.disque;
}

quint32 CanalPoste::tickMs() const
{
    return mPoste.mContexte.env.plateforme.tickMs();
}

QDateTime CanalPoste::maintenant() const
{
    return mPoste.mContexte.env.plateforme.maintenant();
}
