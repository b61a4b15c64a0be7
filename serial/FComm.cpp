#include "serial/FComm.h"

#include "platform/BoitesMessage.h"
#include "platform/GestionPorts.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"

#include <QStringList>

const QByteArray FComm::STX = QByteArray(1, '\x02');

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
        Erreur(erreur.texte());
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
    Port->PorteusePerdue.connecter([this] { PortEvent_PorteusePerdue(); });
    return ouvrir(true);
}

std::optional<ErreurPort> FComm::appliquerReglages()
{
    const QStringList champs = msSettings.split(QLatin1Char(','));
    if (champs.size() < 4)
        return ErreurPort{ErreurPort::Indice,
                          QStringLiteral("Paramètres du port incomplets : « %1 » (vitesse, parité, bits de données et "
                                         "bits d'arrêt attendus, séparés par des virgules).")
                              .arg(msSettings)};
    std::optional<ErreurPort> erreur;
    const auto nombre = [&](int i, const char *quoi) {
        bool ok = false;
        const qint32 valeur = champs[i].trimmed().toInt(&ok);
        if (!ok && !erreur)
            erreur = ErreurPort{ErreurPort::Type, QStringLiteral("Type incompatible : %1 « %2 » n'est pas un nombre.")
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
    mEcriture.liberer();
    return true;
}

bool FComm::Déconnecter()
{
    mbEnLigne = false;
    nouvelleEpoque();
    if (Port)
        Port->Fermer();
    const auto vivant = mVie.temoin();
    Information(QStringLiteral("Port de communication fermé"));
    if (vivant)
        mEcriture.liberer();
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
    if (!mTampon.garderTramesSuivantes(rendreEntete) && mDifferes.empty())
        return;
    // Handled once the caller has its result back.
    const auto vivant = mVie.temoin();
    mEnv.plateforme.planifier(0, [this, vivant] {
        if (vivant)
            PortEvent_Lecture(QByteArray());
    });
}

void FComm::chiffrer(std::unique_ptr<CanalChiffre> canal)
{
    mCanal = std::move(canal);
    ++mEpoque;
}

void FComm::nouvelleEpoque()
{
    mCanal.reset();
    ++mEpoque;
    mDifferes.clear();
    mOctetsDifferes = 0;
    mDifferesPerdus = 0;
}

std::optional<QByteArray> FComm::sceller(const QByteArray &texte)
{
    return mCanal ? mCanal->sceller(texte) : std::optional(texte);
}

bool FComm::Ecrire(QByteArray Texte, const QByteArray &RéponseAttendue, qint32 TimeOut, bool MiseEnFormeSTXTLEN,
                   QByteArray *RéponseReçue, const QByteArray &RéponseRefus)
{
    return mEcriture.ecrire(Texte, RéponseAttendue, TimeOut, MiseEnFormeSTXTLEN, RéponseReçue, RéponseRefus);
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
    const auto vivant = mVie.temoin();
    qsizetype debut = 0;
    do {
        const QByteArray tranche = Texte.mid(debut, trancheLecture);
        debut += tranche.size();
        mTampon.ajouter(tranche);
        while (vivant && decouper()) {
        }
        if (!vivant)
            return;
        guetterPorteuseDansTrame(tranche.size());
    } while (vivant && debut < Texte.size());
}

void FComm::PortEvent_PorteusePerdue()
{
    if (!mVie.vivant())
        return;
    viderReception();
    perteDePorteuse();
}

bool FComm::codesDansLeTexte() const
{
    return !mbSansModem && !(mbEnLigne && Port && Port->porteuseSignalee());
}

void FComm::guetterPorteuseDansTrame(qsizetype arrives)
{
    if (!codesDansLeTexte() || !mTampon.porteuseDansTrame(arrives))
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
    mEcriture.porteusePerdue();
    if (Port)
        Port->viderEmission();
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
        const TamponTrames::Entete entete = mTampon.lireEntete();
        if (entete == TamponTrames::Entete::Absente)
            mTampon.limiterHorsTrame();
        if (entete != TamponTrames::Entete::Lue || mTampon.longueurAttendue() == 0)
            return false;
    }
    if (!mTampon.trameComplete()) {
        progressionTrame();
        return false;
    }
    if (porteuseEnFinDeTrame())
        return false;
    const auto vivant = mVie.temoin();
    const std::optional<QByteArray> ouverte = ouvrirTrame(mTampon.prendreTrame());
    if (!ouverte || !vivant)
        return bool(vivant);
    const QByteArray &trame = *ouverte;
    EcritureCommande::Attente *attente = mEcriture.attente();
    if (attente->epoque == mEpoque && echo(trame))
        return true;
    // Anything but our answer (the other station's own command crossing ours, a text that
    // came under other keys than our command) is handled now, and the wait goes on.
    if (attente->epoque != mEpoque || !attente->repondPar(trame)) {
        livrer(trame);
        return true;
    }
    if (attente->complete) {
        differer(trame);
        return true;
    }
    attente->complete = true;
    attente->tick = mEnv.plateforme.tickMs();
    attente->reponse = trame;
    attente->acceptee = EcritureCommande::commencePar(trame, attente->reponseAttendue);
    return true;
}

void FComm::progressionTrame()
{
    if (mTampon.longueurAttendue() > longueurSansProgression)
        ProgressRecept(qint32(mTampon.texte().size()), mTampon.longueurAttendue());
}

bool FComm::decouper()
{
    if (mEcriture.reponseTrameeAttendue() && mEcriture.attente())
        return decouperReponse();
    if (!mDifferes.empty())
        return livrerDiffere();
    if (mTampon.longueurAttendue() > 0) {
        if (mTampon.trameComplete())
            return livrerTrame();
        progressionTrame();
        return false;
    }
    const TamponTrames::Entete entete = mTampon.lireEntete();
    if (entete != TamponTrames::Entete::Absente) {
        mEcriture.setLigneOccupee(true);
        return entete == TamponTrames::Entete::Lue && mTampon.trameComplete() && livrerTrame();
    }
    reconnaitreCodeResultat();
    mTampon.limiterHorsTrame();
    return false;
}

bool FComm::echo(const QByteArray &trame) const
{
    // Our own command coming back is a modem's echo, where a modem may echo: in its command
    // mode, not once connected, and never through a sealed link.
    const bool echoPossible = !mbSansModem && !mbEnLigne && !mCanal;
    return echoPossible && estCommande && estCommande(trame) && trame == mEcriture.attente()->texteEnvoye;
}

bool FComm::porteusePerdueHorsTrame()
{
    if (!codesDansLeTexte() || !mTampon.porteusePerdueHorsTrame())
        return false;
    perteDePorteuse();
    return true;
}

bool FComm::porteuseEnFinDeTrame()
{
    if (!codesDansLeTexte())
        return false;
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
    const auto vivant = mVie.temoin();
    const std::optional<QByteArray> trame = ouvrirTrame(mTampon.prendreTrame());
    if (!vivant)
        return false;
    mEcriture.setLigneOccupee(false);
    if (trame)
        livrer(*trame);
    return true;
}

void FComm::differer(const QByteArray &texte)
{
    if (qsizetype(mDifferes.size()) < differesMax && mOctetsDifferes + texte.size() <= octetsDifferesMax) {
        mDifferes.push_back({texte, mEpoque});
        mOctetsDifferes += texte.size();
        return;
    }
    if (mDifferesPerdus++ == 0)
        Information(QStringLiteral("Trop de trames reçues pendant une attente (%1 ou %2 Kio au plus) : les suivantes sont "
                                   "ignorées et comptées.")
                        .arg(differesMax)
                        .arg(octetsDifferesMax / 1024));
}

bool FComm::livrerDiffere()
{
    const Differe differe = std::move(mDifferes.front());
    mDifferes.pop_front();
    mOctetsDifferes -= differe.texte.size();
    // Opened under keys that have gone since: nothing of it may act.
    if (differe.epoque == mEpoque)
        livrer(differe.texte);
    return true;
}

std::optional<QByteArray> FComm::ouvrirTrame(const QByteArray &trame)
{
    if (!mCanal)
        return trame;
    if (auto texte = mCanal->ouvrir(trame))
        return texte;
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
    nouvelleEpoque();
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
    // Once connected the modem passes data: "RING" or "CONNECT" there is the other station's.
    const auto code = codesDansLeTexte() ? mTampon.codeModem(mbEnLigne) : std::nullopt;
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
