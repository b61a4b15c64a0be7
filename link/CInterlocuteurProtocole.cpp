// The dialogue between the stations: what a received text is, and the driver's notifications.
#include "link/CInterlocuteur.h"
#include "platform/EtatCase.h"

#include "link/ProprietaireLiaison.h"
#include "link/EnvoiEtendu.h"
#include "link/shared/MGlobal.h"
#include "link/shared/TramesEtendues.h"
#include "platform/BoitesMessage.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"

void CInterlocuteur::FrmComm_Reception(const QByteArray &Texte)
{
    Supervision::Pause pause(mSupervision);
    if (FrmComm)
        FrmComm->TexteReçu_Clear();
    if (mSupervision.genre() == GenreSupervision::Deconnexion) {
        pause.oublier();
        return;
    }
    const auto vivant = mVie.temoin();
    if (TraiterReception(Texte) || !vivant) {
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
    CommandeReçue(MGlobal::TexteDistant(texte, texte.startsWith(QStringLiteral("MESSAGE=")) ? FComm::longueurTrameMax : 500), reponse);
    if (vivant && !reponse.isEmpty())
        repondre(Windows1252::depuisTexte(reponse));
}

bool CInterlocuteur::TraiterReception(const QByteArray &Texte)
{
    NbreErreurs = 0;
    mbHorsLigne = false;
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
    const auto vivant = mVie.temoin();
    repondre(mReconnaissance.reponseAuTest());
    if (!vivant)
        return true;
    mAuth.apresReponseAuTest();
    mReconnaissance.apresReponseAuTest();
    mbModemConnecte = true;
    if (!horloge.isEmpty())
        reglerHorloge(horloge);
    LiaisonVerifiee(verdict);
    if (vivant)
        armer(GenreSupervision::Surveillance);
    return true;
}

bool CInterlocuteur::surStop(const QByteArray &)
{
    const auto vivant = mVie.temoin();
    Information(QStringLiteral("Le poste distant se déconnecte."));
    Déconnecter();
    if (!vivant)
        return true;
    mbModemConnecte = false;
    ModemEtatConnexionChange(false);
    if (vivant)
        armer(GenreSupervision::Reinitialisation, !PosteAppellant);
    return true;
}

bool CInterlocuteur::EnvoiAvance() const
{
    return mEnvoi.avance();
}

qint64 CInterlocuteur::octetsParSeconde() const
{
    // Ten bits a byte on an asynchronous line; what the settings do not say is taken as 9600.
    const qint64 bauds = FrmComm ? FrmComm->msSettings.section(QLatin1Char(','), 0, 0).trimmed().toLongLong() : 0;
    return (bauds > 0 ? bauds : 9600) / 10;
}

bool CInterlocuteur::surSonnerie(const QByteArray &)
{
    Information(QStringLiteral("Le téléphone sonne..."));
    armer(GenreSupervision::Reinitialisation, true);
    return true;
}

bool CInterlocuteur::surDemandeAppelant(const QByteArray &)
{
    const auto vivant = mVie.temoin();
    Information(QStringLiteral("Suite à demande, je deviens 'appellé'..."));
    repondre("OKTUESAPPELANT");
    if (!vivant)
        return true;
    PosteAppellant = false;
    EcrireConfiguration();
    Déconnecter();
    if (vivant)
        Connecter();
    return true;
}

void CInterlocuteur::reglerHorloge(const QByteArray &Texte)
{
    if (!mAuth.autorise())
        return; // a station that has not proved its key never sets the clock
    mHorloge.regler(Texte, EcartHorlogeMax,
                    mAuth.exigee() ? QStringLiteral("empreinte ") + mAuth.empreinteDistante() : QStringLiteral("non authentifié"));
}

bool CInterlocuteur::DefinirCePosteEnAppelant()
{
    if (PosteAppellant) {
        Information(QStringLiteral("Ce poste est 'appelant'."));
        return true;
    }
    const auto vivant = mVie.temoin();
    if (NumTelAppel.isEmpty()) {
        const QString numero = mContexte.env.boites.saisir(QStringLiteral("Numéro de téléphone de l'autre site :"),
                                                            QStringLiteral("Changement d'appelant"));
        if (!vivant)
            return false;
        NumTelAppel = numero;
    }
    if (NumTelAppel.isEmpty())
        return false;
    Information(QStringLiteral("Tentative de paramétrage de l'autre poste en 'appellé'."));
    if (!EnvoyerCommande("JESUISAPPELANT", "OKTUESAPPELANT", 2000) || !vivant)
        return false;
    PosteAppellant = true;
    Information(QStringLiteral("Paramétrage accepté par l'autre poste."));
    EcrireConfiguration();
    return true;
}

void CInterlocuteur::FrmComm_ProgressEmission(qint32 Envoyés, qint32 Total)
{
    ProgressEmission(std::min(Envoyés, Total), Total);
}

void CInterlocuteur::FrmComm_Erreur(const QString &Message)
{
    Information(QStringLiteral("%1 (%2)").arg(Message).arg(NbreErreurs));
    const GenreSupervision genre = mSupervision.genre();
    if (genre == GenreSupervision::Deconnexion)
        return;
    if (NbreErreurs >= 4) {
        NbreErreurs = 0;
        const auto vivant = mVie.temoin();
        Déconnecter();
        if (vivant)
            Connecter();
        return;
    }
    ++NbreErreurs;
    if (genre == GenreSupervision::Surveillance || genre == GenreSupervision::Reinitialisation)
        mSupervision.setCompteur(5);
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
    mbModemConnecte = Connecté;
    mbHorsLigne = !Connecté;
    if (!Connecté)
        mReception.abandonner();
    const auto vivant = mVie.temoin();
    ModemEtatConnexionChange(Connecté);
    if (!vivant)
        return;
    if (!Connecté) {
        if (!PosteAppellant || mSupervision.genre() == GenreSupervision::Appel)
            armer(GenreSupervision::Reinitialisation, true);
    } else {
        armer(PosteAppellant ? GenreSupervision::Surveillance : GenreSupervision::Reponse);
        mReconnaissance.debutConnexion(PosteAppellant);
    }
}
