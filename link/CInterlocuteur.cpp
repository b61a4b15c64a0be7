#include "link/CInterlocuteur.h"

#include "link/EnvoiEtendu.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "link/shared/TramesEtendues.h"
#include "platform/FichierIni.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"

#include <QFileInfo>

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
    // Modal: anything may run meanwhile, the end of the link included.
    if (FrmComm && (!mCanal.mener([&] { FrmComm->Afficher(Parametres); }) || mEtat.termine || !FrmComm))
        return;
    EcrireConfiguration();
    mContexte.proprietaire.chargerFenetreInstance();
}

void CInterlocuteur::Terminer()
{
    if (mEtat.termine)
        return; // the owner's call, then destruction
    mEtat.termine = true;
    mSupervision.arreter();
    mContexte.proprietaire.terminerFenetreInstance();

    mEnvoi.fermer();
    mReception.fermer();

    if (!FrmComm)
        return;
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    if (!fenetre.fenetreMinimisee()) {
        const QPoint position = fenetre.positionFenetre();
        Parametres.Gauche = position.x();
        Parametres.Haut = position.y();
        Parametres.ecrire(mContexte.ini, true);
    }
    if (FrmComm->Port && FrmComm->Port->Actif())
        FrmComm->Déconnecter();
    // The driver may be running below this call (one of its notifications ended the link):
    // it stops now, and is freed from the event loop once nothing of it is on the stack.
    FrmComm->cesser();
    std::shared_ptr<FComm> libere(FrmComm.release());
    mContexte.env.plateforme.planifier(0, [libere] {});
}

void CInterlocuteur::oublierCapacites()
{
    mReconnaissance.oublier();
    mEnvoi.etendu().oublierLigne();
}

void CInterlocuteur::noterCapacites(const QByteArray &reponse, quint32 allerRetourMs)
{
    mReconnaissance.noter(reponse, allerRetourMs, mAuth.autorise());
    mAuth.apresReconnaissance();
}

bool CInterlocuteur::Initialiser(QString FichierConfig, QString SectionConfig)
{
    FrmComm = std::make_unique<FComm>(mContexte.env);
    FrmComm->estCommande = &CommandesDeLigne::estCommandeDeLigne;
    FrmComm->setDialogue(mContexte.dialogue);
    FrmComm->Erreur.connecter([this](const QString &m) { FrmComm_Erreur(m); });
    FrmComm->Information.connecter([this](const QString &m) { FrmComm_Information(m); });
    FrmComm->ModemEtatConnexion.connecter([this](bool c) { FrmComm_ModemEtatConnexion(c); });
    FrmComm->ProgressEmission.connecter([this](qint32 e, qint32 t) { FrmComm_ProgressEmission(e, t); });
    FrmComm->ProgressRecept.connecter([this](qint32 r, qint32 a) { FrmComm_ProgressRecept(r, a); });
    FrmComm->Reception.connecter([this](const QByteArray &t) { FrmComm_Reception(t); });
    FrmComm->TrameRefusee.connecter([this](const QByteArray &t) { mAuth.surTrameRefusee(t); });

    mProfil.choisir(std::move(FichierConfig), std::move(SectionConfig), Index);
    if (!lireNumPort())
        return false;
    Parametres.lire(mContexte.ini);
    mAuth.configurer(QFileInfo(mContexte.ini.Fichier()).absolutePath(), mProfil.section(), Parametres.CleDistante);
    // The handshake travels with the extension: a pinned key keeps it on.
    if (mAuth.exigee())
        Parametres.ProtocoleEtendu = true;
    if (!Parametres.ParametresPort.trimmed().isEmpty())
        FrmComm->msSettings = Parametres.ParametresPort;
    dossiers().creer();
    mProfil.placerFenetre(Parametres);
    dossiers().nettoyerTravail();
    return true;
}

bool CInterlocuteur::lireNumPort()
{
    ProfilPoste::Port port = mProfil.lirePort();
    if (port.erreur.isEmpty() && port.nom.isEmpty()) {
        if (!mCanal.mener([&] { Configurer(); }) || !FrmComm)
            return false;
        port = mProfil.lirePort();
    }
    if (!port.erreur.isEmpty()) {
        mCanal.demander({Question::Genre::Avertissement, port.erreur, {}}, Portee::Etape);
        return false;
    }
    Parametres.NumPort = port.nom;
    FrmComm->msNumPort = port.nom;
    return true;
}

void CInterlocuteur::EcrireConfiguration()
{
    if (!FrmComm)
        return;
    Parametres.NumPort = FrmComm->msNumPort;
    Parametres.ParametresPort = FrmComm->msSettings;
    if (const auto raison = mProfil.ecrire(Parametres))
        Information(*raison);
}

bool CInterlocuteur::Connecter()
{
    if (mEtat.termine)
        return false;
    if (mEtat.connexionEnCours) {
        mEtat.reconnexionRefusee = true;
        return false;
    }
    mEtat.connexionEnCours = true;
    mEtat.reconnexionRefusee = false;
    const std::optional<bool> resultat = mCanal.mener([&] { return mConnexion.etablir(); });
    if (!resultat)
        return false;
    mEtat.connexionEnCours = false;
    mContexte.proprietaire.curseurAttente(false);
    // A hang-up and reconnection asked for inside this call (five line errors during its link
    // test, a role change) found it busy: without this, the station would stay unlinked with
    // its supervision off for good.
    const GenreSupervision genre = mSupervision.genre();
    const bool sansSurveillance = mSupervision.minuterie()
        && (!mSupervision.active() || genre == GenreSupervision::NonDefinie || genre == GenreSupervision::Deconnexion);
    if (std::exchange(mEtat.reconnexionRefusee, false) && !mEtat.termine && sansSurveillance)
        armer(GenreSupervision::Reinitialisation);
    return *resultat;
}

bool CInterlocuteur::ParamétrerModem(const QByteArray &Commande, const QString &LibelléCmde, const QByteArray &RéponseAttendue,
                                     int NbreEssais, qint32 PostTempo)
{
    return mConnexion.parametrer(Commande, LibelléCmde, RéponseAttendue, NbreEssais, PostTempo);
}

void CInterlocuteur::Déconnecter()
{
    ++mEtat.deconnexions;
    mReception.abandonner();
    oublierCapacites();
    mSupervision.commencerDeconnexion();
    const std::optional<bool> dit = mCanal.mener([&] { return mRaccrochage.direAuRevoir(); });
    if (!dit)
        return;
    if (*dit && mConnexion.sansModem())
        mEtat.modemConnecte = false; // no modem will report it
    mAuth.oublier(); // after the farewell, which goes sealed
    if (mRaccrochage.fermerPort())
        mSupervision.setGenre(GenreSupervision::NonDefinie);
}

bool CInterlocuteur::EnvoyerCommande(const QByteArray &Texte, const QByteArray &RéponseAttendue, qint32 valTimeOut,
                                     QByteArray *RéponseReçue, const QByteArray &RéponseRefus)
{
    if (mEtat.horsLigne || !mAuth.peutEnvoyer(Texte))
        return false;
    Supervision::Pause pause(mSupervision);
    return mCanal
        .mener([&] {
            return FrmComm && FrmComm->Connecter() && FrmComm
                && FrmComm->Ecrire(Texte, RéponseAttendue, valTimeOut, true, RéponseReçue, RéponseRefus);
        })
        .value_or(false);
}

bool CInterlocuteur::TesterConnexion(bool AvecEvent)
{
    if (!FrmComm || !FrmComm->Connecter())
        return false;
    // The clock goes only to a station that proved its key, where one is pinned.
    const auto [commande, verdict] = CommandesDeLigne::testDeLiaison(
        Parametres.SvrHoraire && mAuth.autorise() ? std::optional(mContexte.env.plateforme.maintenant()) : std::nullopt, AvecEvent);
    const quint32 envoi = mContexte.env.plateforme.tickMs();
    QByteArray reponseRecue;
    if (!EnvoyerCommande(commande, "OUI", DelaisMs::reponseLongue, &reponseRecue)) // false as well once the engine is gone
        return false;
    noterCapacites(reponseRecue, mContexte.env.plateforme.ecouleDepuis(envoi));
    // No modem reports a bare cable's link: an answered test is what shows it up.
    if (mConnexion.sansModem())
        mEtat.modemConnecte = true;
    if (Parametres.SvrHoraire || AvecEvent)
        NbreErreurs.ligneSaine();
    LiaisonVerifiee(verdict);
    return true;
}

void CInterlocuteur::FrmComm_Reception(const QByteArray &Texte)
{
    Supervision::Pause pause(mSupervision);
    if (FrmComm)
        FrmComm->TexteReçu_Clear();
    if (mSupervision.genre() == GenreSupervision::Deconnexion) {
        pause.oublier();
        return;
    }
    const std::optional<bool> traite = mCanal.mener([&] { return TraiterReception(Texte); });
    if (traite.value_or(true)) {
        pause.oublier();
        return;
    }
    // A message, or an answer that came after its wait gave up: the supervision goes on. A
    // late answer to a link test shows as the "OUI" it begins with.
    // The other station's own words: shown and journaled, so made harmless first.
    QString reponse;
    // From a station that has not proved its key, nothing but that "OUI".
    const bool oui = TramesEtendues::lireCapacites(Texte) || (!mAuth.autorise() && !(FrmComm && FrmComm->texteDuModem()));
    const QString texte = Windows1252::versTexte(oui ? Texte.left(3) : Texte);
    const bool present = mCanal.mener([&] {
        CommandeReçue(MGlobal::TexteDistant(texte, texte.startsWith(QStringLiteral("MESSAGE=")) ? FComm::longueurTrameMax : 500), reponse);
    });
    if (present && !reponse.isEmpty())
        mCanal.repondre(Windows1252::depuisTexte(reponse));
}

bool CInterlocuteur::TraiterReception(const QByteArray &Texte)
{
    NbreErreurs.ligneSaine();
    mEtat.horsLigne = false;
    return mCommandes.traiter(Texte, FrmComm && FrmComm->texteDuModem());
}

bool CInterlocuteur::surTestDeLiaison(const QByteArray &Texte)
{
    return confirmerLiaison(Texte.startsWith("YAQUELQUUN?CHUT!") ? VerdictLiaison::Chut : VerdictLiaison::Confirmee, {});
}

bool CInterlocuteur::surHorloge(const QByteArray &Texte)
{
    return confirmerLiaison(Texte.mid(17, 5) == "CHUT!" ? VerdictLiaison::Chut : VerdictLiaison::ConfirmeeAvecHorloge, Texte);
}

bool CInterlocuteur::confirmerLiaison(VerdictLiaison verdict, const QByteArray &horloge)
{
    if (mCanal.repondre(mReconnaissance.reponseAuTest()).fin())
        return true;
    mAuth.apresReponseAuTest();
    mReconnaissance.apresReponseAuTest();
    mEtat.modemConnecte = true;
    if (!horloge.isEmpty())
        reglerHorloge(horloge);
    if (mCanal.mener([&] { LiaisonVerifiee(verdict); }))
        armer(GenreSupervision::Surveillance);
    return true;
}

bool CInterlocuteur::surStop(const QByteArray &)
{
    mEtat.cause = CauseDeconnexion::PosteDistant;
    Information(texteCause(mEtat.cause));
    if (!mCanal.couper(Portee::Etape))
        return true;
    mEtat.modemConnecte = false;
    if (mCanal.mener([&] { ModemEtatConnexionChange(false); }))
        armer(GenreSupervision::Reinitialisation, !Parametres.PosteAppellant);
    return true;
}

bool CInterlocuteur::surSonnerie(const QByteArray &)
{
    Information(QStringLiteral("Le téléphone sonne..."));
    armer(GenreSupervision::Reinitialisation, true);
    return true;
}

void CInterlocuteur::reglerHorloge(const QByteArray &Texte)
{
    if (!mAuth.autorise())
        return; // a station that has not proved its key never sets the clock
    mHorloge.regler(Texte, Parametres.EcartHorlogeMax,
                    mAuth.exigee() ? QStringLiteral("empreinte ") + mAuth.empreinteDistante() : QStringLiteral("non authentifié"));
}

bool CInterlocuteur::DefinirCePosteEnAppelant()
{
    return mRole.devenirAppelant();
}

void CInterlocuteur::FrmComm_ProgressEmission(qint32 Envoyés, qint32 Total)
{
    ProgressEmission(std::min(Envoyés, Total), Total);
}

void CInterlocuteur::FrmComm_Erreur(const QString &Message)
{
    const GenreSupervision genre = mSupervision.genre();
    if (genre == GenreSupervision::Deconnexion) {
        Information(QStringLiteral("%1 (%2)").arg(Message).arg(NbreErreurs.nombre()));
        return;
    }
    const ErreursDeLigne::Decision decision = NbreErreurs.erreurDuPilote();
    Information(QStringLiteral("%1 (%2)").arg(Message).arg(decision.nombre));
    if (decision.suite == ErreursDeLigne::Suite::RaccrocherEtRappeler) {
        mCanal.raccrocherEtRappeler();
        return;
    }
    if (genre == GenreSupervision::Surveillance || genre == GenreSupervision::Reinitialisation)
        mSupervision.setCompteur(ErreursDeLigne::compteurApresErreurDuPilote);
}

void CInterlocuteur::FrmComm_Information(const QString &Message)
{
    if (mSupervision.genre() != GenreSupervision::Deconnexion)
        Information(Message);
}

void CInterlocuteur::FrmComm_ModemEtatConnexion(bool Connecté)
{
    mSupervision.arreter();
    oublierCapacites();
    mAuth.oublier();
    mEtat.modemConnecte = Connecté;
    mEtat.horsLigne = !Connecté;
    if (!Connecté) {
        mReception.abandonner();
        mEtat.cause = FrmComm ? FrmComm->causeDeconnexion() : CauseDeconnexion::Inconnue;
    }
    if (!mCanal.mener([&] { ModemEtatConnexionChange(Connecté); }))
        return;
    if (!Connecté) {
        if (!Parametres.PosteAppellant || mSupervision.genre() == GenreSupervision::Appel)
            armer(GenreSupervision::Reinitialisation, true);
    } else {
        armer(Parametres.PosteAppellant ? GenreSupervision::Surveillance : GenreSupervision::Reponse);
        mReconnaissance.debutConnexion(Parametres.PosteAppellant);
    }
}

void CInterlocuteur::armer(GenreSupervision genre, bool relance)
{
    mSuperviseur.armer(genre, relance, mEnvoi.enCours());
}

DossiersPoste CInterlocuteur::dossiers() const
{
    return {mContexte.env.plateforme, mContexte.dossierProgramme, Parametres, mProfil.section()};
}

void CInterlocuteur::finEnvoi()
{
    // A file that arrived alongside and is not finished gets its own wait.
    if (mReception.enCours())
        mReception.echangeRecu();
    else
        armer(GenreSupervision::Surveillance);
}

void CInterlocuteur::TimeOut_Timer()
{
    if (!mSupervision.minuterie())
        return;
    if (mEtat.termine) {
        mSupervision.arreter();
        return;
    }
    if (mSupervision.genre() == GenreSupervision::Reception)
        mReception.echeance();
    else
        mSuperviseur.echeance();
}

void CInterlocuteur::FrmComm_ProgressRecept(qint32 Recu, qint32 Attendu)
{
    mReception.progression(Recu, Attendu);
    ProgressRecept(Recu, Attendu);
}
