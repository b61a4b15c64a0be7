#include "serial/FComm.h"

#include "platform/BoitesMessage.h"
#include "platform/GestionPorts.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"

#include <QScopeGuard>
#include <QStringList>

const QByteArray FComm::STX = QByteArray(1, '\x02');

namespace {
constexpr int erreurIndice = 9;
constexpr int erreurType = 13;
constexpr int erreurDepassement = 6;
constexpr int erreurObjet = 91;

}

FComm::FComm(Environnement environnement) : mEnv(environnement) {}

FComm::~FComm()
{
    mVie.finir();
}

void FComm::signalerErreurPort(const ErreurPort &erreur, const QString &titreBoite)
{
    const auto vivant = mVie.temoin();
    if (!titreBoite.isEmpty())
        mEnv.boites.afficher(erreur.description, Boutons::OK, titreBoite);
    if (vivant)
        Erreur(QStringLiteral("Erreur de port : [%1]%2").arg(erreur.numero).arg(erreur.description));
}

void FComm::Afficher(ParametresStation &Poste)
{
    const auto vivant = mVie.temoin();
    // After Annuler the port stays closed: only OK opens it again.
    if (mDialogue && mDialogue->afficher(*this, Poste) && vivant)
        Connecter();
}

bool FComm::OpenPort()
{
    if (Port)
        return true;
    Port = mEnv.ports.ObtenirPort(msNumPort);
    Port->Lecture.connecter([this](const QByteArray &texte) { PortEvent_Lecture(texte); });
    Port->Erreur.connecter([this](const QString &texte, int type) { PortEvent_Erreur(texte, type); });
    return ouvrir(true);
}

std::optional<FComm::ErreurPort> FComm::appliquerReglages()
{
    const QStringList champs = msSettings.split(QLatin1Char(','));
    if (champs.size() < 4)
        return ErreurPort{erreurIndice,
                          QStringLiteral("Paramètres du port incomplets : « %1 » (vitesse, parité, bits de données et "
                                         "bits d'arrêt attendus, séparés par des virgules).")
                              .arg(msSettings)};
    std::optional<ErreurPort> erreur;
    const auto nombre = [&](int i, const char *quoi) {
        bool ok = false;
        const qint32 valeur = champs[i].trimmed().toInt(&ok);
        if (!ok && !erreur)
            erreur = ErreurPort{erreurType, QStringLiteral("Type incompatible : %1 « %2 » n'est pas un nombre.")
                                                .arg(QString::fromUtf8(quoi), champs[i].trimmed())};
        return valeur;
    };
    const qint32 bauds = nombre(0, "la vitesse");
    const qint32 bitsDonnees = nombre(2, "le nombre de bits de données");
    const qint32 bitsStop = nombre(3, "le nombre de bits d'arrêt");
    if (erreur)
        return erreur;
    Port->setBauds(bauds);
    Port->setParite(champs[1]);
    Port->setBitsDonnees(bitsDonnees);
    Port->setBitsStop(bitsStop);
    return std::nullopt;
}

bool FComm::ouvrir(bool premiere)
{
    const auto vivant = mVie.temoin();
    if (const auto erreur = appliquerReglages()) {
        signalerErreurPort(*erreur, premiere ? QStringLiteral("Connecter") : QString());
        return false;
    }
    QString raison;
    const bool ouvert = Port->Ouvrir(&raison);
    if (!vivant || !Port)
        return false;
    if (!ouvert) {
        const QString titre = QStringLiteral("Ouverture du port ") + Port->NomPort();
        // A port that is gone (an adapter unplugged, a serial server restarting) is not a
        // line error: the station retries at each re-initialisation, and says so once.
        const QString texte = titre + QStringLiteral(" : ") + raison;
        if (premiere)
            mEnv.boites.afficher(raison, Boutons::OK, titre);
        else if (texte != mDernierEchecOuverture)
            Information(texte + QStringLiteral(" Nouvel essai à chaque réinitialisation."));
        if (vivant)
            mDernierEchecOuverture = texte;
        return false;
    }
    mDernierEchecOuverture.clear();
    Information(QStringLiteral("Port de communication ouvert"));
    if (!vivant || !Port)
        return false;
    Port->setActif(true);
    return true;
}

bool FComm::Connecter()
{
    // Already open: what is arriving belongs to a wait or a frame under way, and a handler
    // answering a command from inside a wait comes through here.
    if (Port && Port->Actif())
        return true;
    if (!Port) {
        if (!OpenPort())
            return false;
    } else if (!ouvrir(false)) {
        return false;
    }
    viderReception();
    mbLigneOccupee = false;
    mbReponseTrameeAttendue = false;
    return true;
}

bool FComm::Déconnecter()
{
    mbEnLigne = false;
    mCanal.reset();
    mDerniereOuverte = {};
    if (Port)
        Port->Fermer();
    const auto vivant = mVie.temoin();
    Information(QStringLiteral("Port de communication fermé"));
    if (!vivant)
        return true;
    mbLigneOccupee = false;
    mbReponseTrameeAttendue = false;
    return true;
}

void FComm::LibererPort()
{
    Port.reset();
}

void FComm::TexteReçu_Clear()
{
    // A delivered frame has already left the buffer; what follows it is the next frame.
    if (mLivraisons == 0)
        viderReception();
}

void FComm::viderReception()
{
    mTampon.vider();
}

void FComm::garderTramesSuivantes(bool rendreEntete)
{
    // After an answer, a frame whose header was read gets it back for the idle reader; any
    // other end of a wait drops it, or a garbled header would outlive every wait.
    if (!mTampon.garderTramesSuivantes(rendreEntete))
        return;
    // Handled once the caller has its result back.
    const auto vivant = mVie.temoin();
    mEnv.plateforme.planifier(0, [this, vivant] {
        if (vivant)
            PortEvent_Lecture(QByteArray());
    });
}

void FComm::finirEmission()
{
    mbEmissionEnCours = false;
    if (Port && !mReponsesDifferees.isEmpty())
        Port->EcrireTexte(std::exchange(mReponsesDifferees, QByteArray()));
}

bool FComm::ecrireReponseImbriquee(const QByteArray &Texte)
{
    const std::optional<QByteArray> texte = mCanal ? mCanal->sceller(Texte) : std::optional(Texte);
    if (!Port || !Port->Actif() || !texte || texte->size() > longueurTrameMax)
        return false;
    const QByteArray trame = STX + encoderEntete(texte->size()) + *texte;
    if (mbEmissionEnCours)
        mReponsesDifferees += trame; // never inside the frame we are writing
    else
        Port->EcrireTexte(trame);
    return true;
}

bool FComm::Ecrire(QByteArray Texte, const QByteArray &RéponseAttendue, qint32 TimeOut, bool MiseEnFormeSTXTLEN,
                   QByteArray *RéponseReçue, const QByteArray &RéponseRefus)
{
    if (sbEcrireEnCours && mbArreter)
        sbEcrireEnCours = false;
    if (sbEcrireEnCours) {
        // The other station's command arrived while we wait: its answer goes out at once.
        if (mLivraisons > 0 && RéponseAttendue.isEmpty() && MiseEnFormeSTXTLEN)
            return ecrireReponseImbriquee(Texte);
        return false;
    }
    sbEcrireEnCours = true;
    if (mbLigneOccupee && mbArreter)
        mbLigneOccupee = false;
    mbArreter = false;

    const auto vivant = mVie.temoin();
    Ecriture e{.trame = Texte,
               .texteDonne = Texte,
               .reponseAttendue = RéponseAttendue,
               .reponseRefus = RéponseRefus,
               .delai = TimeOut,
               .tramee = MiseEnFormeSTXTLEN,
               .attente = {.reponseAttendue = RéponseAttendue, .texteEnvoye = Texte, .reponse = {}},
               .erreur = {}};
    // A handler inside our wait may write and wait itself; ours is back when it returns.
    Attente *precedente = std::exchange(mAttente, &e.attente);
    const auto retablir = qScopeGuard([&] {
        if (vivant)
            mAttente = precedente;
    });
    Suite suite = prendreLaLigne(e);
    if (suite == Suite::Continuer)
        suite = ecrireTrame(e);
    if (suite == Suite::Continuer)
        suite = attendreReponse(e);
    return conclure(e, suite, RéponseReçue);
}

bool FComm::conclure(Ecriture &e, Suite suite, QByteArray *RéponseReçue)
{
    switch (suite) {
    case Suite::Detruit: return false;
    case Suite::Abandon: sbEcrireEnCours = false; return false;
    case Suite::Echec:
        finEcriture(e, false);
        Erreur(e.erreur);
        return false;
    case Suite::Refus:
    case Suite::Continuer:
        if (RéponseReçue)
            *RéponseReçue = suite == Suite::Refus || (e.tramee && !e.reponseAttendue.isEmpty()) ? e.attente.reponse : mTampon.texte();
        finEcriture(e, true);
        return suite == Suite::Continuer;
    }
    return false;
}

void FComm::finEcriture(const Ecriture &e, bool reussite)
{
    mbEmissionEnCours = false;
    mReponsesDifferees.clear();
    sbEcrireEnCours = false;
    mbArreter = false;
    mbLigneOccupee = false;
    mbReponseTrameeAttendue = false;
    if (e.tramee)
        garderTramesSuivantes(reussite);
    else
        viderReception();
}

FComm::Suite FComm::echecEcriture(Ecriture &e, const QString &texte)
{
    e.erreur = texte;
    return Suite::Echec;
}

FComm::Suite FComm::prendreLaLigne(Ecriture &e)
{
    const auto vivant = mVie.temoin();
    if (!Port && !Connecter())
        return vivant ? Suite::Abandon : Suite::Detruit;
    if (!vivant)
        return Suite::Detruit;
    if (mbLigneOccupee) {
        const bool libre = mEnv.plateforme.attendreQue([&] { return !vivant || !mbLigneOccupee; }, 60000);
        if (!vivant)
            return Suite::Detruit;
        if (!libre)
            return Suite::Abandon;
    }
    mbLigneOccupee = true;
    if (!e.tramee) {
        viderReception();
        return Suite::Continuer;
    }
    // Stale bytes go, a frame of the other station stays; one already begun stays whole when
    // nothing is awaited, since the other station may be sending while we write.
    garderTramesSuivantes(e.reponseAttendue.isEmpty());
    if (mCanal) {
        const auto scellee = mCanal->sceller(e.trame);
        if (!scellee)
            return echecEcriture(e, QStringLiteral("Liaison chiffrée épuisée : il faut une nouvelle connexion."));
        e.trame = *scellee;
    }
    if (e.trame.size() > longueurTrameMax)
        return echecEcriture(e, texteErreurPort({erreurDepassement,
                                                 QStringLiteral("Dépassement de capacité : un message de %1 caractères ne "
                                                                "peut pas être tramé (%2 au plus).")
                                                     .arg(e.trame.size())
                                                     .arg(longueurTrameMax)}));
    e.trame = STX + encoderEntete(e.trame.size()) + e.trame;
    mbReponseTrameeAttendue = !e.reponseAttendue.isEmpty();
    return Suite::Continuer;
}

FComm::Suite FComm::ecrireTrame(Ecriture &e)
{
    const auto vivant = mVie.temoin();
    Plateforme &plateforme = mEnv.plateforme;
    const qint64 N = e.trame.size();
    qint64 i = 1;
    mbEmissionEnCours = true;
    // Once the carrier is gone the modem reads what we write as commands: not one more byte.
    const quint32 pertesAvant = mPertesPorteuse;
    for (; i <= N; i += tailleBlocEcriture) {
        if (i > 1) {
            ProgressEmission(qint32(i), qint32(N));
            if (!vivant)
                return Suite::Detruit;
            plateforme.pomper();
            if (!vivant)
                return Suite::Detruit;
        }
        if (e.attente.porteusePerdue || mPertesPorteuse != pertesAvant)
            return echecEcriture(e, QStringLiteral("Pas de porteuse : l'envoi de %1 s'arrête.")
                                        .arg(Windows1252::versTexte(e.texteDonne.left(12))));
        if (!Port)
            return echecEcriture(e, texteErreurPort({erreurObjet, QStringLiteral("Le port n'est plus disponible pendant l'écriture.")}));
        Port->EcrireTexte(e.trame.mid(i - 1, tailleBlocEcriture));
        // Once the last chunk is in the port, an answer can no longer land inside the frame:
        // one that a handler writes during the next pump goes out at once.
        if (i + tailleBlocEcriture > N)
            finirEmission();
        plateforme.pomper();
        if (!vivant)
            return Suite::Detruit;
    }
    finirEmission();
    if (i > tailleBlocEcriture + 1) {
        ProgressEmission(qint32(i - 1), qint32(N));
        if (!vivant)
            return Suite::Detruit;
    }
    return Suite::Continuer;
}

bool FComm::reponseArrivee(Ecriture &e)
{
    if (!e.tramee)
        return mTampon.texte().toLower().contains(e.reponseAttendue.toLower());
    // A long answer under way gets the time to arrive.
    const qint32 longueur = mTampon.longueurAttendue();
    if (mbReponseTrameeAttendue && longueur > 0 && e.delai < 2 * longueur)
        e.delai = 2 * longueur;
    return e.attente.acceptee;
}

bool FComm::reponseRefusee(const Ecriture &e) const
{
    const Attente &a = e.attente;
    return !e.reponseRefus.isEmpty() && a.complete && !a.acceptee
        && a.reponse.left(e.reponseRefus.size()).compare(e.reponseRefus, Qt::CaseInsensitive) == 0;
}

FComm::Suite FComm::attendreReponse(Ecriture &e)
{
    if (e.reponseAttendue.isEmpty())
        return Suite::Continuer;
    const auto vivant = mVie.temoin();
    Plateforme &plateforme = mEnv.plateforme;
    mbLigneOccupee = false;
    plateforme.pomper();
    if (!vivant)
        return Suite::Detruit;
    const quint32 debut = plateforme.tickMs();
    const auto ecoule = [&] { return qint64(plateforme.ecouleDepuis(debut)); };
    const QString douze = Windows1252::versTexte(e.texteDonne.left(12));
    while (!reponseArrivee(e)) {
        if (reponseRefusee(e))
            return Suite::Refus;
        plateforme.pomper(quint32(std::max<qint64>(1, qint64(e.delai) - ecoule() + 1)));
        if (!vivant)
            return Suite::Detruit;
        // An answer already in counts even when a stop came behind it.
        if (e.attente.acceptee)
            break;
        if (std::exchange(mbCeder, false))
            return Suite::Refus;
        if (mbArreter)
            return echecEcriture(e, Windows1252::versTexte(e.trame));
        if (e.attente.porteusePerdue)
            return echecEcriture(e, QStringLiteral("Pas de porteuse pendant l'attente de réponse. (%1 / %2)")
                                        .arg(Windows1252::versTexte(e.reponseAttendue), douze));
        if (ecoule() > e.delai)
            break;
    }
    // A handler that ran long inside the wait (a box, another station's work in a
    // simulation) may return control after the deadline: an answer that came in time
    // still counts.
    const bool arriveeATemps = e.attente.acceptee && qint64(qint32(e.attente.tick - debut)) <= e.delai;
    if (ecoule() <= e.delai || arriveeATemps)
        return Suite::Continuer;
    return echecEcriture(e, e.delai > 0 ? QStringLiteral("Temps d'attente de réponse écoulé. (%1 / %2)")
                                              .arg(Windows1252::versTexte(e.reponseAttendue), douze)
                                        : douze);
}

void FComm::cesser()
{
    mVie.finir();
    if (Port)
        Port->Fermer();
}

void FComm::PortEvent_Lecture(const QByteArray &Texte)
{
    if (!mVie.vivant())
        return;
    mTampon.ajouter(Texte);
    const auto vivant = mVie.temoin();
    while (vivant && decouper()) {
    }
    if (vivant)
        guetterPorteuseDansTrame(Texte.size());
}

void FComm::guetterPorteuseDansTrame(qsizetype arrives)
{
    if (!mTampon.porteuseDansTrame(arrives))
        return;
    const auto vivant = mVie.temoin();
    const quint32 trame = mTampon.entetesLus(), pertes = mPertesPorteuse;
    mEnv.plateforme.planifier(qint64(silenceApresPorteuseMs) * 1000, [this, vivant, trame, pertes] {
        if (!vivant || mTampon.longueurAttendue() == 0 || mTampon.entetesLus() != trame || mPertesPorteuse != pertes)
            return;
        viderReception();
        perteDePorteuse();
    });
}

void FComm::perteDePorteuse()
{
    ++mPertesPorteuse;
    // A frame cut by the loss never ends: the line is free for the next call.
    mbLigneOccupee = false;
    if (Port)
        Port->viderEmission();
    if (mAttente)
        mAttente->porteusePerdue = true;
    const auto vivant = mVie.temoin();
    mCause = CauseDeconnexion::PorteusePerdue;
    livrerDuModem(Windows1252::depuisTexte(texteCause(mCause)), true);
    if (vivant)
        finDeConnexion(false);
}

bool FComm::decouperReponse()
{
    if (mTampon.longueurAttendue() == 0) {
        if (porteusePerdueHorsTrame())
            return false;
        if (mTampon.lireEntete() != TamponTrames::Entete::Lue || mTampon.longueurAttendue() == 0)
            return false;
    }
    if (!mTampon.trameComplete()) {
        progressionTrame();
        return false;
    }
    if (porteuseEnFinDeTrame())
        return false;
    const std::optional<QByteArray> ouverte = ouvrirTrame(mTampon.trame());
    if (!ouverte) {
        mTampon.prendreTrame();
        return true;
    }
    const QByteArray &trame = *ouverte;
    const bool croisee = commandeCroisee(trame);
    if (!croisee && mAttente->complete)
        return false; // a second answer waits for the end of the wait
    mTampon.prendreTrame();
    if (croisee) {
        // The other station's own command crossed ours: handle it now, and keep waiting
        // for our answer behind it.
        livrer(trame);
        return true;
    }
    mAttente->complete = true;
    mAttente->tick = mEnv.plateforme.tickMs();
    mAttente->reponse = trame;
    mAttente->acceptee = trame.left(mAttente->reponseAttendue.size()).compare(mAttente->reponseAttendue, Qt::CaseInsensitive) == 0;
    return true;
}

void FComm::progressionTrame()
{
    if (mTampon.longueurAttendue() > longueurSansProgression)
        ProgressRecept(qint32(mTampon.texte().size()), mTampon.longueurAttendue());
}

bool FComm::decouper()
{
    if (mbReponseTrameeAttendue && mAttente)
        return decouperReponse();
    if (mTampon.longueurAttendue() > 0) {
        if (mTampon.trameComplete())
            return livrerTrame();
        progressionTrame();
        return false;
    }
    const TamponTrames::Entete entete = mTampon.lireEntete();
    if (entete != TamponTrames::Entete::Absente) {
        mbLigneOccupee = true;
        return entete == TamponTrames::Entete::Lue && mTampon.trameComplete() && livrerTrame();
    }
    reconnaitreCodeResultat();
    mTampon.limiterHorsTrame();
    return false;
}

bool FComm::commandeCroisee(const QByteArray &trame) const
{
    // Our own text coming back is a modem's echo, not a command, where a modem may echo: in
    // its command mode, not once connected, and never through a sealed link.
    const bool echoPossible = !mbSansEcho && !mbEnLigne && !mCanal;
    return estCommande && estCommande(trame) && (!echoPossible || trame != mAttente->texteEnvoye)
        && trame.left(mAttente->reponseAttendue.size()).compare(mAttente->reponseAttendue, Qt::CaseInsensitive) != 0;
}

bool FComm::porteusePerdueHorsTrame()
{
    if (!mTampon.porteusePerdueHorsTrame())
        return false;
    perteDePorteuse();
    return true;
}

bool FComm::porteuseEnFinDeTrame()
{
    switch (mTampon.porteuseEnFinDeTrame()) {
    case TamponTrames::FinDeTrame::Entiere: return false;
    case TamponTrames::FinDeTrame::PorteusePerdue:
        perteDePorteuse();
        return true;
    case TamponTrames::FinDeTrame::CodeEnCours: break;
    }
    // The rest of the code is on its way: the frame is delivered as it is if it does not come soon.
    if (mbSansGuetPorteuse)
        return false;
    const auto vivant = mVie.temoin();
    mEnv.plateforme.planifier(qint64(silenceApresPorteuseMs) * 1000, [this, vivant] {
        if (!vivant)
            return;
        mbSansGuetPorteuse = true;
        PortEvent_Lecture(QByteArray());
        if (vivant)
            mbSansGuetPorteuse = false;
    });
    return true;
}

bool FComm::livrerTrame()
{
    if (porteuseEnFinDeTrame())
        return false;
    const std::optional<QByteArray> trame = ouvrirTrame(mTampon.prendreTrame());
    mbLigneOccupee = false;
    if (trame)
        livrer(*trame);
    return true;
}

std::optional<QByteArray> FComm::ouvrirTrame(const QByteArray &trame)
{
    if (!mCanal)
        return trame;
    if (!mDerniereOuverte.first.isEmpty() && mDerniereOuverte.first == trame)
        return mDerniereOuverte.second;
    if (auto texte = mCanal->ouvrir(trame)) {
        mDerniereOuverte = {trame, *texte};
        return texte;
    }
    const auto vivant = mVie.temoin();
    TrameRefusee(trame);
    // The owner dropped the keys on seeing it: the frame is in clear, for it to handle.
    if (vivant && !mCanal)
        return trame;
    return std::nullopt;
}

void FComm::finDeConnexion(bool connecte)
{
    mbEnLigne = connecte;
    mCanal.reset();
    mDerniereOuverte = {};
    ModemEtatConnexion(connecte);
}

void FComm::livrer(const QByteArray &texte)
{
    const auto vivant = mVie.temoin();
    ++mLivraisons;
    Reception(texte);
    if (vivant)
        --mLivraisons;
}

void FComm::livrerDuModem(const QByteArray &texte, bool commeTrame)
{
    const auto vivant = mVie.temoin();
    const bool avant = std::exchange(mbTexteDuModem, true);
    if (commeTrame)
        livrer(texte);
    else
        Reception(texte);
    if (vivant)
        mbTexteDuModem = avant;
}

void FComm::reconnaitreCodeResultat()
{
    const auto code = mTampon.codeModem();
    if (!code)
        return;
    const auto vivant = mVie.temoin();
    switch (code->genre) {
    case TamponTrames::CodeModem::Genre::Connecte:
        livrerDuModem(code->texte);
        if (vivant)
            finDeConnexion(true);
        return;
    case TamponTrames::CodeModem::Genre::Echec:
        ++mPertesPorteuse;
        mCause = code->cause;
        if (Port)
            Port->viderEmission();
        livrerDuModem(code->texte);
        if (vivant)
            finDeConnexion(false);
        return;
    case TamponTrames::CodeModem::Genre::Sonnerie: livrerDuModem(code->texte); return;
    }
}

void FComm::PortEvent_Erreur(const QString &Texte, int)
{
    if (!mVie.vivant())
        return;
    Erreur(Texte);
}

qint64 FComm::octetsParSeconde() const
{
    const qint64 bauds = msSettings.section(QLatin1Char(','), 0, 0).trimmed().toLongLong();
    return (bauds > 0 ? bauds : 9600) / 10;
}
