#include "link/ConnexionModem.h"

#include "link/CanalLiaison.h"
#include "link/ProprietaireLiaison.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/Plateforme.h"
#include "serial/FComm.h"
#include "serial/ParametresStation.h"

#include <QRegularExpression>

namespace {
const QString eteignez = QStringLiteral("Eteignez et rallumer le modem,");
const QString relancez = QStringLiteral(" puis relancez la connexion (éventuellement l'ordinateur).");
}

bool ConnexionModem::etablir()
{
    mCanal.attacherMinuterie();
    mCanal.armer(GenreSupervision::Reinitialisation);
    bool ouvert = false;
    const bool suite = mCanal.patienter([&] { ouvert = mCanal.ligne() && mCanal.ligne()->Connecter(); });
    if (!ouvert)
        return true; // the re-initialisation timeout will try again
    if (!suite)
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

ConnexionModem::Reponse ConnexionModem::executerScript(bool cable)
{
    const auto envoyer = [&](const QString &texte) { return parametrerModem(texte.toLatin1() + '\r', texte, "OK", 2, 1000); };
    Reponse r = Reponse::Acceptee;
    QString morceau;
    for (const QChar c : std::as_const(mCanal.parametres().ScriptInit)) {
        if (c == QLatin1Char('|')) {
            if (!morceau.isEmpty())
                r = envoyer(morceau);
            morceau.clear();
            if (r == Reponse::Fin || (cable && r != Reponse::Acceptee))
                return r;
        } else {
            morceau += c;
        }
    }
    if (!morceau.isEmpty() && r == Reponse::Acceptee)
        r = envoyer(morceau);
    const bool silencieux = mCanal.parametres().Silencieux;
    if (r == Reponse::Acceptee)
        r = parametrerModem(silencieux ? "ATM0\r" : "ATM1\r",
                            QStringLiteral("Silencieux = ") + (silencieux ? QStringLiteral("Oui") : QStringLiteral("Non")), "OK",
                            2, 1000);
    const QString vitesse = mCanal.parametres().VitesseConx;
    if (r == Reponse::Acceptee && !vitesse.trimmed().isEmpty())
        r = parametrerModem("AT" + vitesse.toLatin1() + '\r', QStringLiteral("Vitesse de connexion = ") + vitesse, "OK", 2, 1000);
    return r;
}

bool ConnexionModem::initialiser()
{
    const bool cable = mCanal.etat().ligneDirecte;
    for (int essai = 1; essai <= 2; ++essai) {
        const Reponse script = executerScript(cable);
        if (script == Reponse::Fin)
            return false;
        const bool ok = script == Reponse::Acceptee;
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
    Plateforme &plateforme = mCanal.env().plateforme;
    mCanal.informer(QStringLiteral("Echec de paramétrage. (Essai %1)").arg(essai));
    if (!mCanal.patienter([&] { mCanal.deconnecter(); }))
        return false;
    if (essai == 2 && !mInitialise) {
        const QString argument = mCanal.argumentLigneCommande();
        bool confirme = false;
        const bool suite = mCanal.patienter([&] {
            confirme = mCanal.env().boites.afficherTempo(QStringLiteral("Le modem '") + argument
                                                             + QStringLiteral("' ne semble pas connecté.\r\n")
                                                             + QStringLiteral("Peut être n'est-il pas allumé ou branché."),
                                                         argument, 20, true, EtatFenetre::Minimisee);
        });
        if (!suite || !confirme)
            return false;
    }
    mCanal.arreterSupervision();
    if (!mCanal.patienter([&] { MGlobal::Attendre(plateforme, 2000); }))
        return false;
    if (!mCanal.patienter([&] {
            mCanal.ligne()->Connecter();
            MGlobal::Attendre(plateforme, 5000);
        }))
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
        mCanal.ligne()->setLigneSansModem(sansModem);
}

bool ConnexionModem::relierCable()
{
    // Either end may be up first, or both at once: each tests the other, and an end that was
    // not there for the other's test asks back once it is tested itself.
    mCanal.informer(QStringLiteral("Connexion directe..."));
    bool relie = false;
    if (!mCanal.patienter([&] { relie = mCanal.testerLiaison(true); }))
        return false;
    if (relie)
        mCanal.armer(GenreSupervision::Surveillance);
    else
        mCanal.redemanderCapacites();
    return true;
}

bool ConnexionModem::appeler()
{
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
    bool compose = false;
    if (!mCanal.patienter(
            [&] { compose = mCanal.ligne()->Ecrire("ATDT" + numero.toLatin1() + '\r', QByteArray(), 2000, false); }))
        return false;
    if (compose) {
        mCanal.armer(GenreSupervision::Appel);
        mCanal.informer(QStringLiteral("Attente de réponse..."));
        return true;
    }
    mCanal.arreterSupervision();
    mCanal.proprietaire().curseurAttente(false);
    if (!mCanal.patienter([&] {
            mCanal.env().boites.afficherTempo(QStringLiteral("\r\n") + eteignez + relancez,
                                              QStringLiteral("Appel du numéro ") + numero, 20, true, EtatFenetre::Minimisee);
        }))
        return false;
    mCanal.armer(GenreSupervision::Reinitialisation);
    return false;
}

bool ConnexionModem::attendreAppel()
{
    mCanal.informer(QStringLiteral("Paramétrage Attente d'appel..."));
    Reponse r = parametrerModem("ATV1\r", QStringLiteral("Messages littéraux"), "OK", 2, 1000);
    if (r == Reponse::Acceptee)
        r = parametrerModem("AT&C0\r", QStringLiteral("RLSD"), "OK", 2, 1000);
    if (r == Reponse::Acceptee)
        r = parametrerModem("ATS0=1\r", QStringLiteral("1 sonnerie"), "OK", 2, 1000);
    if (r == Reponse::Fin)
        return false;
    if (r == Reponse::Acceptee) {
        mCanal.informer(QStringLiteral("Paramétrage accepté"));
        mCanal.informer(QStringLiteral("Attente d'appel..."));
        mCanal.armer(GenreSupervision::Reinitialisation);
        return true;
    }
    mCanal.informer(QStringLiteral("Echec de paramétrage"));
    bool confirme = false;
    if (!mCanal.patienter([&] {
            confirme =
                mCanal.env().boites.afficherTempo(eteignez + QStringLiteral("\r\n") + relancez,
                                                  QStringLiteral("Modem non initialisé"), 30, true, EtatFenetre::Minimisee);
        }))
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
    return parametrerModem(commande, libelle, attendu, essais, pause) == Reponse::Acceptee;
}

ConnexionModem::Reponse ConnexionModem::parametrerModem(const QByteArray &commande, const QString &libelle,
                                                        const QByteArray &attendu, int essais, qint32 pause)
{
    mCanal.informer(QStringLiteral("Paramétrage ") + libelle);
    bool accepte = false;
    if (!mCanal.patienter([&] { accepte = mCanal.ligne() && mCanal.ligne()->Ecrire(commande, attendu, 1000, false); }))
        return Reponse::Fin;
    if (!accepte) {
        mCanal.informer(QStringLiteral("Echec de paramétrage ") + libelle);
        if (essais > 1)
            return parametrerModem(commande, libelle, attendu, essais - 1, pause);
    }
    if (!mCanal.patienter([&] { MGlobal::Attendre(mCanal.env().plateforme, pause); }))
        return Reponse::Fin;
    return accepte ? Reponse::Acceptee : Reponse::Refusee;
}
