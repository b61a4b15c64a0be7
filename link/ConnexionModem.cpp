#include "link/ConnexionModem.h"

#include "link/CanalLiaison.h"
#include "serial/FComm.h"
#include "serial/ParametresStation.h"
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
    return !vivant || mCanal.etat().termine || !mCanal.ligne();
}

bool ConnexionModem::etablir()
{
    const auto vivant = mCanal.temoin();
    mCanal.attacherMinuterie();
    mCanal.armer(GenreSupervision::Reinitialisation);
    if (!mCanal.ligne() || !mCanal.ligne()->Connecter())
        return true; // the re-initialisation timeout will try again
    if (termine(vivant))
        return false;
    mCanal.proprietaire().curseurAttente(true);
    if (!initialiser())
        return false;
    if (mSansModem)
        return relierCable();
    if (!mCanal.parametres().NumTelAppel.isEmpty() && mCanal.parametres().PosteAppellant)
        return appeler();
    return attendreAppel();
}

bool ConnexionModem::executerScript(bool cable)
{
    const auto vivant = mCanal.temoin();
    const auto envoyer = [&](const QString &texte) { return parametrer(texte.toLatin1() + '\r', texte, "OK", 2, 1000); };
    bool ok = true;
    QString morceau;
    for (const QChar c : std::as_const(mCanal.parametres().ScriptInit)) {
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
    const bool silencieux = mCanal.parametres().Silencieux;
    if (ok && !termine(vivant))
        ok = parametrer(silencieux ? "ATM0\r" : "ATM1\r",
                        QStringLiteral("Silencieux = ") + (silencieux ? QStringLiteral("Oui") : QStringLiteral("Non")), "OK", 2, 1000);
    const QString vitesse = mCanal.parametres().VitesseConx;
    if (ok && !vitesse.trimmed().isEmpty() && !termine(vivant))
        ok = parametrer("AT" + vitesse.toLatin1() + '\r', QStringLiteral("Vitesse de connexion = ") + vitesse, "OK", 2, 1000);
    return ok;
}

bool ConnexionModem::initialiser()
{
    const auto vivant = mCanal.temoin();
    const bool cable = mCanal.etat().ligneDirecte;
    for (int essai = 1; essai <= 2; ++essai) {
        const bool ok = executerScript(cable);
        if (termine(vivant))
            return false;
        if (ok || cable) {
            constaterCable(cable && !ok);
            mInitialise = mInitialise || ok;
            return true;
        }
        if (!apresEchecInitialisation(essai))
            return false;
    }
    return true;
}

bool ConnexionModem::apresEchecInitialisation(int essai)
{
    const auto vivant = mCanal.temoin();
    Plateforme &plateforme = mCanal.env().plateforme;
    mCanal.informer(QStringLiteral("Echec de paramétrage. (Essai %1)").arg(essai));
    mCanal.deconnecter();
    if (termine(vivant))
        return false;
    if (essai == 2 && !mInitialise) {
        const QString argument = mCanal.argumentLigneCommande();
        const bool confirme = mCanal.env().boites.afficherTempo(
            QStringLiteral("Le modem '") + argument + QStringLiteral("' ne semble pas connecté.\r\n")
                + QStringLiteral("Peut être n'est-il pas allumé ou branché."),
            argument, 20, true, EtatFenetre::Minimisee);
        if (termine(vivant) || !confirme)
            return false;
    }
    mCanal.arreterSupervision();
    MGlobal::Attendre(plateforme, 2000);
    if (termine(vivant))
        return false;
    mCanal.ligne()->Connecter();
    MGlobal::Attendre(plateforme, 5000);
    if (termine(vivant))
        return false;
    mCanal.armer(GenreSupervision::Reinitialisation);
    return true;
}

void ConnexionModem::constaterCable(bool sansModem)
{
    if (sansModem && !mSansModem)
        mCanal.informer(QStringLiteral("Pas de modem sur la ligne : câble direct"));
    mSansModem = sansModem;
    if (mCanal.ligne())
        mCanal.ligne()->setLigneSansEcho(sansModem);
}

bool ConnexionModem::relierCable()
{
    // Either end may be up first, or both at once: each tests the other, and an end that was
    // not there for the other's test asks back once it is tested itself.
    const auto vivant = mCanal.temoin();
    mCanal.informer(QStringLiteral("Connexion directe..."));
    const bool relie = mCanal.testerLiaison(true);
    if (termine(vivant))
        return false;
    if (relie)
        mCanal.armer(GenreSupervision::Surveillance);
    else
        mCanal.redemanderCapacites();
    return true;
}

bool ConnexionModem::appeler()
{
    const auto vivant = mCanal.temoin();
    const QString numero = mCanal.parametres().NumTelAppel;
    if (mCanal.etat().ligneDirecte) {
        mCanal.informer(QStringLiteral("Connexion directe..."));
        mCanal.testerLiaison(true);
        return true;
    }
    static const QRegularExpression composable(QStringLiteral("^[0-9*#,;!@ ()+TtPpWw-]*$"));
    if (!composable.match(numero).hasMatch())
        mCanal.informer(QStringLiteral("Le numéro '%1' contient des caractères qu'un modem ne compose pas.").arg(numero));
    mCanal.informer(QStringLiteral("Numérotation du '") + numero + QStringLiteral("' en cours..."));
    if (mCanal.ligne()->Ecrire("ATDT" + numero.toLatin1() + '\r', QByteArray(), 2000, false)) {
        if (termine(vivant))
            return false;
        mCanal.armer(GenreSupervision::Appel);
        mCanal.informer(QStringLiteral("Attente de réponse..."));
        return true;
    }
    if (termine(vivant))
        return false;
    mCanal.arreterSupervision();
    mCanal.proprietaire().curseurAttente(false);
    mCanal.env().boites.afficherTempo(QStringLiteral("\r\n") + eteignez + relancez,
                                              QStringLiteral("Appel du numéro ") + numero, 20, true, EtatFenetre::Minimisee);
    if (termine(vivant))
        return false;
    mCanal.armer(GenreSupervision::Reinitialisation);
    return false;
}

bool ConnexionModem::attendreAppel()
{
    const auto vivant = mCanal.temoin();
    mCanal.informer(QStringLiteral("Paramétrage Attente d'appel..."));
    bool prepare = parametrer("ATV1\r", QStringLiteral("Messages littéraux"), "OK", 2, 1000);
    if (prepare && !termine(vivant))
        prepare = parametrer("AT&C0\r", QStringLiteral("RLSD"), "OK", 2, 1000);
    if (prepare && !termine(vivant))
        prepare = parametrer("ATS0=1\r", QStringLiteral("1 sonnerie"), "OK", 2, 1000);
    if (termine(vivant))
        return false;
    if (prepare) {
        mCanal.informer(QStringLiteral("Paramétrage accepté"));
        mCanal.informer(QStringLiteral("Attente d'appel..."));
        mCanal.armer(GenreSupervision::Reinitialisation);
        return true;
    }
    mCanal.informer(QStringLiteral("Echec de paramétrage"));
    const bool confirme = mCanal.env().boites.afficherTempo(eteignez + QStringLiteral("\r\n") + relancez,
                                                                     QStringLiteral("Modem non initialisé"), 30, true, EtatFenetre::Minimisee);
    if (termine(vivant))
        return false;
    if (confirme) {
        mCanal.armer(GenreSupervision::Reinitialisation, true);
        return true;
    }
    return false;
}

bool ConnexionModem::parametrer(const QByteArray &commande, const QString &libelle, const QByteArray &attendu, int essais,
                                qint32 pause)
{
    const auto vivant = mCanal.temoin();
    mCanal.informer(QStringLiteral("Paramétrage ") + libelle);
    const bool resultat = vivant && mCanal.ligne() && mCanal.ligne()->Ecrire(commande, attendu, 1000, false);
    if (!vivant)
        return false;
    if (!resultat) {
        mCanal.informer(QStringLiteral("Echec de paramétrage ") + libelle);
        if (essais > 1)
            return parametrer(commande, libelle, attendu, essais - 1, pause);
    }
    MGlobal::Attendre(mCanal.env().plateforme, pause);
    return resultat;
}
