// Bringing the link up and down through the modems (or a direct cable).
#include "CInterlocuteur.h"

#include "BoitesMessage.h"
#include "MGlobal.h"
#include "Minuterie.h"
#include "Plateforme.h"
#include "ProprietaireLiaison.h"

#include <QRegularExpression>

namespace {
const QString eteignez = QStringLiteral("Eteignez et rallumer le modem,");
const QString relancez = QStringLiteral(" puis relancez la connexion (éventuellement l'ordinateur).");
// Longer than a modem's escape guard time (S12 = 50, 1 s), with room for the line's delay.
constexpr qint32 silenceGardeMs = 1200;
}

bool CInterlocuteur::Connecter()
{
    if (mbTerminer)
        return false;
    if (bEnCours) {
        mbReconnexionRefusee = true;
        return false;
    }
    bEnCours = true;
    mbReconnexionRefusee = false;
    const auto vivant = mVivant;
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    Plateforme &plateforme = mContexte.env.plateforme;
    BoitesMessage &boites = mContexte.env.boites;
    // Whatever the way out: the guard and the pointer go back.
    const auto fin = [&](bool resultat) {
        if (*vivant) {
            bEnCours = false;
            fenetre.curseurAttente(false);
            // A hang-up and reconnection asked for inside this call (five line errors during
            // its link test, a role change) found it busy: without this, the station would
            // stay unlinked with its supervision off for good.
            const GenreSupervision genre = mSupervision.genre();
            const bool sansSurveillance = mSupervision.minuterie()
                && (!mSupervision.active() || genre == GenreSupervision::NonDefinie || genre == GenreSupervision::Deconnexion);
            if (std::exchange(mbReconnexionRefusee, false) && !mbTerminer && sansSurveillance)
                armer(GenreSupervision::Reinitialisation);
        }
        return resultat;
    };
    const auto termine = [&] { return !*vivant || mbTerminer || !FrmComm; };

    AttacherMinuterie();
    armer(GenreSupervision::Reinitialisation);
    if (!FrmComm || !FrmComm->Connecter())
        return fin(true); // the re-initialisation timeout will try again
    if (termine())
        return fin(false);
    fenetre.curseurAttente(true);

    for (int essai = 1; essai <= 2; ++essai) {
        bool ok = true;
        QString morceau;
        const auto envoyer = [&](const QString &texte) {
            return ParamétrerModem(texte.toLatin1() + '\r', texte, "OK", 2, 1000);
        };
        for (const QChar c : std::as_const(ScriptInit)) {
            if (c == QLatin1Char('|')) {
                if (!morceau.isEmpty())
                    ok = envoyer(morceau);
                morceau.clear();
                if (termine())
                    return fin(false);
            } else {
                morceau += c;
            }
        }
        if (!morceau.isEmpty() && ok)
            ok = envoyer(morceau);
        if (ok && !termine())
            ok = ParamétrerModem(Silencieux ? "ATM0\r" : "ATM1\r",
                                 QStringLiteral("Silencieux = ") + (Silencieux ? QStringLiteral("Oui") : QStringLiteral("Non")),
                                 "OK", 2, 1000);
        if (ok && !VitesseConx.trimmed().isEmpty() && !termine())
            ok = ParamétrerModem("AT" + VitesseConx.toLatin1() + '\r', QStringLiteral("Vitesse de connexion = ") + VitesseConx,
                                 "OK", 2, 1000);
        if (termine())
            return fin(false);
        if (ok) {
            bModemInitialise = true;
            break;
        }
        Information(QStringLiteral("Echec de paramétrage. (Essai %1)").arg(essai));
        Déconnecter();
        if (termine())
            return fin(false);
        if (essai == 2 && !bModemInitialise) {
            const QString argument = mContexte.argumentLigneCommande;
            const bool confirme = boites.afficherTempo(QStringLiteral("Le modem '") + argument + QStringLiteral("' ne semble pas connecté.\r\n")
                                                           + QStringLiteral("Peut être n'est-il pas allumé ou branché."),
                                                       argument, 20, true, 1);
            if (termine() || !confirme)
                return fin(false);
        }
        mSupervision.arreter();
        MGlobal::Attendre(plateforme, 2000);
        if (termine())
            return fin(false);
        FrmComm->Connecter();
        MGlobal::Attendre(plateforme, 5000);
        if (termine())
            return fin(false);
        armer(GenreSupervision::Reinitialisation);
    }

    if (!NumTelAppel.isEmpty() && PosteAppellant) {
        if (NumTelAppel == QLatin1String("DIRECT")) {
            Information(QStringLiteral("Connexion directe..."));
            TesterConnexion(true);
            return fin(true);
        }
        static const QRegularExpression composable(QStringLiteral("^[0-9*#,;!@ ()+TtPpWw-]*$"));
        if (!composable.match(NumTelAppel).hasMatch())
            Information(QStringLiteral("Le numéro '%1' contient des caractères qu'un modem ne compose pas.").arg(NumTelAppel));
        Information(QStringLiteral("Numérotation du '") + NumTelAppel + QStringLiteral("' en cours..."));
        if (FrmComm->Ecrire("ATDT" + NumTelAppel.toLatin1() + '\r', QByteArray(), 2000, false)) {
            if (termine())
                return fin(false);
            armer(GenreSupervision::Appel);
            Information(QStringLiteral("Attente de réponse..."));
            return fin(true);
        }
        if (termine())
            return fin(false);
        mSupervision.arreter();
        fenetre.curseurAttente(false);
        boites.afficherTempo(QStringLiteral("\r\n") + eteignez + relancez, QStringLiteral("Appel du numéro ") + NumTelAppel, 20, true, 1);
        if (termine())
            return fin(false);
        armer(GenreSupervision::Reinitialisation);
        return fin(false);
    }

    Information(QStringLiteral("Paramétrage Attente d'appel..."));
    bool prepare = ParamétrerModem("ATV1\r", QStringLiteral("Messages littéraux"), "OK", 2, 1000);
    if (prepare && !termine())
        prepare = ParamétrerModem("AT&C0\r", QStringLiteral("RLSD"), "OK", 2, 1000);
    if (prepare && !termine())
        prepare = ParamétrerModem("ATS0=1\r", QStringLiteral("1 sonnerie"), "OK", 2, 1000);
    if (termine())
        return fin(false);
    if (prepare) {
        Information(QStringLiteral("Paramétrage accepté"));
        Information(QStringLiteral("Attente d'appel..."));
        armer(GenreSupervision::Reinitialisation);
        return fin(true);
    }
    Information(QStringLiteral("Echec de paramétrage"));
    const bool confirme = boites.afficherTempo(eteignez + QStringLiteral("\r\n") + relancez, QStringLiteral("Modem non initialisé"), 30, true, 1);
    if (termine())
        return fin(false);
    if (confirme) {
        armer(GenreSupervision::Reinitialisation, true);
        return fin(true);
    }
    return fin(false);
}

bool CInterlocuteur::ParamétrerModem(const QByteArray &Commande, const QString &LibelléCmde, const QByteArray &RéponseAttendue,
                                     int NbreEssais, qint32 PostTempo)
{
    const auto vivant = mVivant;
    Information(QStringLiteral("Paramétrage ") + LibelléCmde);
    bool resultat = *vivant && FrmComm && FrmComm->Ecrire(Commande, RéponseAttendue, 1000, false);
    if (!*vivant)
        return false;
    if (!resultat) {
        Information(QStringLiteral("Echec de paramétrage ") + LibelléCmde);
        if (NbreEssais > 1)
            return ParamétrerModem(Commande, LibelléCmde, RéponseAttendue, NbreEssais - 1, PostTempo);
    }
    MGlobal::Attendre(mContexte.env.plateforme, PostTempo);
    return resultat;
}

void CInterlocuteur::Déconnecter()
{
    ++mDeconnexions;
    mReception.abandonner();
    const auto vivant = mVivant;
    Plateforme &plateforme = mContexte.env.plateforme;
    mSupervision.commencerDeconnexion();
    // The goodbye goes out only on an open port: reopening one that dropped would cost
    // seconds and send a STOP that a peer on a direct cable would obey.
    const auto ouvert = [&] { return *vivant && FrmComm && FrmComm->Port && FrmComm->Port->Actif(); };
    const auto ecrire = [&](const QByteArray &texte, const QByteArray &reponse = {}, qint32 delai = 2000) {
        return ouvert() && FrmComm->Ecrire(texte, reponse, delai, false);
    };
    if (ouvert()) {
        FrmComm->ArréterAttendre();
        EnvoyerCommande("STOP", QByteArray(), 3000);
        // Without a carrier the modem is already in command mode: "+++" would only spoil ATH0.
        if (PosteAppellant && ouvert() && mbHorsLigne) {
            ecrire("\rATH0\r"); // the first return ends whatever reached the modem after the carrier
        } else if (PosteAppellant && ouvert()) {
            // A modem takes "+++" only between two silences of its guard time (S12, 1 s by
            // default); its "OK" comes after the second, and then it hears ATH0.
            MGlobal::Attendre(plateforme, silenceGardeMs);
            if (ouvert())
                ecrire("+++", "OK", silenceGardeMs + 2000);
            ecrire(mbHorsLigne ? "\rATH0\r" : "ATH0\r"); // the carrier went during the guard time
        }
        if (ouvert())
            MGlobal::Attendre(plateforme, 2000);
        ecrire("ATZ0\r");
    }
    if (!*vivant)
        return;
    if (FrmComm && !FrmComm->Déconnecter())
        Information(QStringLiteral("Erreur de déconnexion : fermeture du port impossible"));
    if (*vivant)
        mSupervision.setGenre(GenreSupervision::NonDefinie);
}
