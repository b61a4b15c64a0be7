#include "link/ConnexionModem.h"

#include "link/CanalLiaison.h"
#include "serial/ParametresStation.h"

#include <QRegularExpression>

namespace {
const QString eteignez = QStringLiteral("Eteignez et rallumer le modem,");
const QString relancez = QStringLiteral(" puis relancez la connexion (éventuellement l'ordinateur).");
// Each piece of the script: its "OK" within a second, two tries, a second's pause after.
constexpr qint32 reponseModemMs = 1000;
constexpr qint32 pauseApresCommandeMs = 1000;
constexpr int essaisParCommande = 2;
// A modem that failed its script: a pause, the port again, then time for the modem to settle.
constexpr qint32 pauseApresEchecMs = 2000;
constexpr qint32 reveilModemMs = 5000;
constexpr qint32 numerotationMs = 2000;
constexpr int questionModemS = 20;
constexpr int questionInitialisationS = 30;

Question delai(QString texte, QString titre, int secondes)
{
    return {Question::Genre::Delai, std::move(texte), std::move(titre), secondes};
}
}

bool ConnexionModem::etablir()
{
    mCanal.attacherMinuterie();
    mCanal.armer(GenreSupervision::Reinitialisation);
    const std::optional<bool> ouvert = mCanal.ouvrirPort();
    if (!ouvert)
        return false;
    if (!*ouvert)
        return true; // the re-initialisation timeout will try again
    mCanal.curseurAttente(true);
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
    const auto envoyer = [&](const QString &texte) {
        return parametrerModem(texte.toLatin1() + '\r', texte, "OK", essaisParCommande, pauseApresCommandeMs);
    };
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
                            essaisParCommande, pauseApresCommandeMs);
    const QString vitesse = mCanal.parametres().VitesseConx;
    if (r == Reponse::Acceptee && !vitesse.trimmed().isEmpty())
        r = parametrerModem("AT" + vitesse.toLatin1() + '\r', QStringLiteral("Vitesse de connexion = ") + vitesse, "OK",
                            essaisParCommande, pauseApresCommandeMs);
    return r;
}

bool ConnexionModem::initialiser()
{
    const bool cable = mCanal.etat().ligneDirecte;
    for (int essai = 1; essai <= essaisParCommande; ++essai) {
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
    mCanal.informer(QStringLiteral("Echec de paramétrage. (Essai %1)").arg(essai));
    if (!mCanal.couper(Portee::Liaison))
        return false;
    if (essai == essaisParCommande && !mInitialise) {
        const QString argument = mCanal.argumentLigneCommande();
        const auto reponse = mCanal.demander(delai(QStringLiteral("Le modem '") + argument
                                                       + QStringLiteral("' ne semble pas connecté.\r\n")
                                                       + QStringLiteral("Peut être n'est-il pas allumé ou branché."),
                                                   argument, questionModemS),
                                             Portee::Liaison);
        if (!reponse || !reponse->confirmee)
            return false;
    }
    mCanal.arreterSupervision();
    if (!mCanal.pause(pauseApresEchecMs, Portee::Liaison) || !mCanal.ouvrirPort()
        || !mCanal.pause(reveilModemMs, Portee::Liaison))
        return false;
    mCanal.armer(GenreSupervision::Reinitialisation);
    return true;
}

void ConnexionModem::constaterCable(bool sansModem)
{
    if (sansModem && !mSansModem)
        mCanal.informer(QStringLiteral("Pas de modem sur la ligne : câble direct"));
    mSansModem = sansModem;
    mCanal.noterSansModem(sansModem);
}

bool ConnexionModem::relierCable()
{
    // Either end may be up first, or both at once: each tests the other, and an end that was
    // not there for the other's test asks back once it is tested itself.
    mCanal.informer(QStringLiteral("Connexion directe..."));
    const std::optional<bool> relie = mCanal.testerLiaison(true);
    if (!relie)
        return false;
    if (*relie)
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
    const std::optional<bool> compose = mCanal.ecrireAuModem("ATDT" + numero.toLatin1() + '\r', {}, numerotationMs, Portee::Liaison);
    if (!compose)
        return false;
    if (*compose) {
        mCanal.armer(GenreSupervision::Appel);
        mCanal.informer(QStringLiteral("Attente de réponse..."));
        return true;
    }
    mCanal.arreterSupervision();
    mCanal.curseurAttente(false);
    if (!mCanal.demander(delai(QStringLiteral("\r\n") + eteignez + relancez, QStringLiteral("Appel du numéro ") + numero, questionModemS),
                         Portee::Liaison))
        return false;
    mCanal.armer(GenreSupervision::Reinitialisation);
    return false;
}

bool ConnexionModem::attendreAppel()
{
    mCanal.informer(QStringLiteral("Paramétrage Attente d'appel..."));
    Reponse r = Reponse::Acceptee;
    for (const auto &[commande, libelle] : {std::pair{"ATV1\r", "Messages littéraux"}, {"AT&C0\r", "RLSD"}, {"ATS0=1\r", "1 sonnerie"}})
        if (r == Reponse::Acceptee)
            r = parametrerModem(commande, QString::fromUtf8(libelle), "OK", essaisParCommande, pauseApresCommandeMs);
    if (r == Reponse::Fin)
        return false;
    if (r == Reponse::Acceptee) {
        mCanal.informer(QStringLiteral("Paramétrage accepté"));
        mCanal.informer(QStringLiteral("Attente d'appel..."));
        mCanal.armer(GenreSupervision::Reinitialisation);
        return true;
    }
    mCanal.informer(QStringLiteral("Echec de paramétrage"));
    const auto reponse = mCanal.demander(
        delai(eteignez + QStringLiteral("\r\n") + relancez, QStringLiteral("Modem non initialisé"), questionInitialisationS),
        Portee::Liaison);
    if (!reponse)
        return false;
    if (reponse->confirmee) {
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
    const std::optional<bool> accepte = mCanal.ecrireAuModem(commande, attendu, reponseModemMs, Portee::Liaison);
    if (!accepte)
        return Reponse::Fin;
    if (!*accepte) {
        mCanal.informer(QStringLiteral("Echec de paramétrage ") + libelle);
        if (essais > 1)
            return parametrerModem(commande, libelle, attendu, essais - 1, pause);
    }
    if (!mCanal.pause(pause, Portee::Liaison))
        return Reponse::Fin;
    return *accepte ? Reponse::Acceptee : Reponse::Refusee;
}
