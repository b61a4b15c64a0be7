#include "link/CInterlocuteur.h"

#include "link/EnvoiEtendu.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/FichierIni.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"

CInterlocuteur::CInterlocuteur(ContexteLiaison contexte)
    : mContexte(std::move(contexte))
{
}

CInterlocuteur::~CInterlocuteur()
{
    Terminer();
    mVie.finir();
}

void CInterlocuteur::AttacherMinuterie()
{
    if (mSupervision.minuterie())
        return;
    Minuterie &minuterie = mContexte.proprietaire.TimeOutAppel();
    mSupervision.attacher(minuterie);
    // The timer outlives this object: a late tick must find it gone, not dangling.
    minuterie.Timer.connecter([this, vivant = mVie.temoin()] {
        if (vivant)
            TimeOut_Timer();
    });
}

void CInterlocuteur::ArreterTempos()
{
    mSupervision.arreter();
    mSupervision.setGenre(GenreSupervision::NonDefinie);
}

void CInterlocuteur::Configurer()
{
    const auto vivant = mVie.temoin();
    if (FrmComm)
        FrmComm->Afficher(*this); // modal: anything may run meanwhile
    if (!vivant || mbTerminer)
        return;
    EcrireConfiguration();
    mContexte.proprietaire.chargerFenetreInstance();
}

void CInterlocuteur::Terminer()
{
    if (mbTerminer)
        return; // the owner's call, then destruction
    mbTerminer = true;
    mSupervision.arreter();
    mContexte.proprietaire.terminerFenetreInstance();

    mEnvoi.fermer();
    mReception.fermer();

    if (!FrmComm)
        return;
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    if (!fenetre.fenetreMinimisee()) {
        const QPoint position = fenetre.positionFenetre();
        Gauche = position.x();
        Haut = position.y();
        ecrire(mContexte.ini, true);
    }
    if (FrmComm->Port && FrmComm->Port->Actif())
        FrmComm->Déconnecter();
    // The driver may be running below this call (one of its notifications ended the link):
    // it stops now, and is freed from the event loop once nothing of it is on the stack.
    FrmComm->cesser();
    std::shared_ptr<FComm> libere(FrmComm.release());
    mContexte.env.plateforme.planifier(0, [libere] {});
}

ReponseCommande CInterlocuteur::commande(const QByteArray &texte, const QByteArray &attendue, qint32 delaiMs, const QByteArray &refus)
{
    const auto vivant = mVie.temoin();
    ReponseCommande reponse;
    const bool repondue = EnvoyerCommande(texte, attendue, delaiMs, &reponse.texte, refus);
    if (!vivant || !FrmComm || mbHorsLigne || mSupervision.genre() == GenreSupervision::Deconnexion)
        reponse.issue = IssueCommande::Perdue;
    else if (repondue)
        reponse.issue = IssueCommande::Repondue;
    else if (!refus.isEmpty() && reponse.texte.startsWith(refus))
        reponse.issue = IssueCommande::Refusee;
    return reponse;
}

bool CInterlocuteur::repondre(const QByteArray &texte)
{
    return !commande(texte, QByteArray(), 3000, QByteArray()).perdue();
}

void CInterlocuteur::avancementEmission(const AvancementFichier &avancement)
{
    PartieGrosFichier = avancement.texte();
}

void CInterlocuteur::avancementReception(const AvancementFichier &avancement)
{
    PartieGrosFichier = avancement.texte();
}

EtatLigne CInterlocuteur::etat() const
{
    return {.modemConnecte = mbModemConnecte,
            .horsLigne = mbHorsLigne,
            .sansModem = mConnexion.sansModem(),
            .termine = mbTerminer,
            .deconnexions = mDeconnexions,
            .extensionActive = extensionActive(),
            .crcEtendu = crcEtendu(),
            .meneLaLiaison = meneLaLiaison(),
            .ligneDirecte = ligneDirecte(),
            .partieDistante = mReconnaissance.partieDistante(),
            .allerRetourMs = mReconnaissance.allerRetourMs(),
            .octetsParSeconde = octetsParSeconde()};
}

void CInterlocuteur::oublierCapacites()
{
    mReconnaissance.oublier();
    mEnvoi.etendu().oublierLigne();
}

void CInterlocuteur::redemanderCapacites()
{
    oublierCapacites();
    mReconnaissance.redemander();
}

void CInterlocuteur::noterCapacites(const QByteArray &reponse, quint32 allerRetourMs)
{
    const auto vivant = mVie.temoin();
    mReconnaissance.noter(reponse, allerRetourMs, mAuth.autorise());
    if (vivant)
        mAuth.apresReconnaissance();
}
