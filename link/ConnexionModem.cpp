#include "link/ConnexionModem.h"

#include "link/CInterlocuteur.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/Plateforme.h"

#include <QRegularExpression>

namespace {
const QString eteignez = QStringLiteral("Eteignez et rallumer le modem,");
const QString relancez = QStringLiteral(" puis relancez la connexion (éventuellement l'ordinateur).");
}

bool ConnexionModem::termine(const JetonVie::Temoin &vivant) const
{
    return !vivant || mPoste.mbTerminer || !mPoste.FrmComm;
}

bool ConnexionModem::etablir()
{
    const auto vivant = mPoste.mVie.temoin();
    mPoste.AttacherMinuterie();
    mPoste.armer(GenreSupervision::Reinitialisation);
    if (!mPoste.FrmComm || !mPoste.FrmComm->Connecter())
        return true; // the re-initialisation timeout will try again
    if (termine(vivant))
        return false;
    mPoste.mContexte.proprietaire.curseurAttente(true);
    if (const auto fin = initialiser())
        return *fin;
    if (mSansModem)
        return relierCable();
    if (!mPoste.NumTelAppel.isEmpty() && mPoste.PosteAppellant)
        return appeler();
    return attendreAppel();
}

bool ConnexionModem::executerScript(bool cable)
{
    const auto vivant = mPoste.mVie.temoin();
    const auto envoyer = [&](const QString &texte) { return parametrer(texte.toLatin1() + '\r', texte, "OK", 2, 1000); };
    bool ok = true;
    QString morceau;
    for (const QChar c : std::as_const(mPoste.ScriptInit)) {
        if (c == QLatin1Char('|')) {
            if (!morceau.isEmpty())
                ok = envoyer(morceau);
            morceau.clear();
            if (termine(vivant) || (cable && !ok))
                return false;
        } else {
            morceau += c;
        }
    }
    if (!morceau.isEmpty() && ok)
        ok = envoyer(morceau);
    const bool silencieux = mPoste.Silencieux;
    if (ok && !termine(vivant))
        ok = parametrer(silencieux ? "ATM0\r" : "ATM1\r",
                        QStringLiteral("Silencieux = ") + (silencieux ? QStringLiteral("Oui") : QStringLiteral("Non")), "OK", 2, 1000);
    const QString vitesse = mPoste.VitesseConx;
    if (ok && !vitesse.trimmed().isEmpty() && !termine(vivant))
        ok = parametrer("AT" + vitesse.toLatin1() + '\r', QStringLiteral("Vitesse de connexion = ") + vitesse, "OK", 2, 1000);
    return ok;
}

std::optional<bool> ConnexionModem::initialiser()
{
    const auto vivant = mPoste.mVie.temoin();
    const bool cable = mPoste.ligneDirecte();
    for (int essai = 1; essai <= 2; ++essai) {
        const bool ok = executerScript(cable);
        if (termine(vivant))
            return false;
        if (ok || cable) {
            constaterCable(cable && !ok);
            mInitialise = mInitialise || ok;
            return std::nullopt;
        }
        if (const auto fin = apresEchecInitialisation(essai))
            return fin;
    }
    return std::nullopt;
}

std::optional<bool> ConnexionModem::apresEchecInitialisation(int essai)
{
    const auto vivant = mPoste.mVie.temoin();
    Plateforme &plateforme = mPoste.mContexte.env.plateforme;
    mPoste.Information(QStringLiteral("Echec de paramétrage. (Essai %1)").arg(essai));
    mPoste.Déconnecter();
    if (termine(vivant))
        return false;
    if (essai == 2 && !mInitialise) {
        const QString argument = mPoste.mContexte.argumentLigneCommande;
        const bool confirme = mPoste.mContexte.env.boites.afficherTempo(
            QStringLiteral("Le modem '") + argument + QStringLiteral("' ne semble pas connecté.\r\n")
                + QStringLiteral("Peut être n'est-il pas allumé ou branché."),
            argument, 20, true, EtatFenetre::Minimisee);
        if (termine(vivant) || !confirme)
            return false;
    }
    mPoste.mSupervision.arreter();
    MGlobal::Attendre(plateforme, 2000);
    if (termine(vivant))
        return false;
    mPoste.FrmComm->Connecter();
    MGlobal::Attendre(plateforme, 5000);
    if (termine(vivant))
        return false;
    mPoste.armer(GenreSupervision::Reinitialisation);
    return std::nullopt;
}

void ConnexionModem::constaterCable(bool sansModem)
{
    if (sansModem && !mSansModem)
        mPoste.Information(QStringLiteral("Pas de modem sur la ligne : câble direct"));
    mSansModem = sansModem;
    if (mPoste.FrmComm)
        mPoste.FrmComm->setLigneSansEcho(sansModem);
}

bool ConnexionModem::relierCable()
{
    // Either end may be up first, or both at once: each tests the other, and an end that was
    // not there for the other's test asks back once it is tested itself.
    const auto vivant = mPoste.mVie.temoin();
    mPoste.Information(QStringLiteral("Connexion directe..."));
    const bool relie = mPoste.TesterConnexion(true);
    if (termine(vivant))
        return false;
    if (relie)
        mPoste.armer(GenreSupervision::Surveillance);
    else
        mPoste.mCapacitesADemander = mPoste.ProtocoleEtendu;
    return true;
}

bool ConnexionModem::appeler()
{
    const auto vivant = mPoste.mVie.temoin();
    const QString numero = mPoste.NumTelAppel;
    if (mPoste.ligneDirecte()) {
        mPoste.Information(QStringLiteral("Connexion directe..."));
        mPoste.TesterConnexion(true);
        return true;
    }
    static const QRegularExpression composable(QStringLiteral("^[0-9*#,;!@ ()+TtPpWw-]*$"));
    if (!composable.match(numero).hasMatch())
        mPoste.Information(QStringLiteral("Le numéro '%1' contient des caractères qu'un modem ne compose pas.").arg(numero));
    mPoste.Information(QStringLiteral("Numérotation du '") + numero + QStringLiteral("' en cours..."));
    if (mPoste.FrmComm->Ecrire("ATDT" + numero.toLatin1() + '\r', QByteArray(), 2000, false)) {
        if (termine(vivant))
            return false;
        mPoste.armer(GenreSupervision::Appel);
        mPoste.Information(QStringLiteral("Attente de réponse..."));
        return true;
    }
    if (termine(vivant))
        return false;
    mPoste.mSupervision.arreter();
    mPoste.mContexte.proprietaire.curseurAttente(false);
    mPoste.mContexte.env.boites.afficherTempo(QStringLiteral("\r\n") + eteignez + relancez,
                                              QStringLiteral("Appel du numéro ") + numero, 20, true, EtatFenetre::Minimisee);
    if (termine(vivant))
        return false;
    mPoste.armer(GenreSupervision::Reinitialisation);
    return false;
}

bool ConnexionModem::attendreAppel()
{
    const auto vivant = mPoste.mVie.temoin();
    mPoste.Information(QStringLiteral("Paramétrage Attente d'appel..."));
    bool prepare = parametrer("ATV1\r", QStringLiteral("Messages littéraux"), "OK", 2, 1000);
    if (prepare && !termine(vivant))
        prepare = parametrer("AT&C0\r", QStringLiteral("RLSD"), "OK", 2, 1000);
    if (prepare && !termine(vivant))
        prepare = parametrer("ATS0=1\r", QStringLiteral("1 sonnerie"), "OK", 2, 1000);
    if (termine(vivant))
        return false;
    if (prepare) {
        mPoste.Information(QStringLiteral("Paramétrage accepté"));
        mPoste.Information(QStringLiteral("Attente d'appel..."));
        mPoste.armer(GenreSupervision::Reinitialisation);
        return true;
    }
    mPoste.Information(QStringLiteral("Echec de paramétrage"));
    const bool confirme = mPoste.mContexte.env.boites.afficherTempo(eteignez + QStringLiteral("\r\n") + relancez,
                                                                     QStringLiteral("Modem non initialisé"), 30, true, EtatFenetre::Minimisee);
    if (termine(vivant))
        return false;
    if (confirme) {
        mPoste.armer(GenreSupervision::Reinitialisation, true);
        return true;
    }
    return false;
}

bool ConnexionModem::parametrer(const QByteArray &commande, const QString &libelle, const QByteArray &attendu, int essais,
                                qint32 pause)
{
    const auto vivant = mPoste.mVie.temoin();
    mPoste.Information(QStringLiteral("Paramétrage ") + libelle);
    const bool resultat = vivant && mPoste.FrmComm && mPoste.FrmComm->Ecrire(commande, attendu, 1000, false);
    if (!vivant)
        return false;
    if (!resultat) {
        mPoste.Information(QStringLiteral("Echec de paramétrage ") + libelle);
        if (essais > 1)
            return parametrer(commande, libelle, attendu, essais - 1, pause);
    }
    MGlobal::Attendre(mPoste.mContexte.env.plateforme, pause);
    return resultat;
}
