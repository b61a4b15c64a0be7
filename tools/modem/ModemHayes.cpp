#include "tools/modem/ModemHayes.h"

#include "tools/modem/CentralTelephonique.h"

namespace {
constexpr qint64 delaiNumerotationMs = 1000;
constexpr qint64 delaiOccupeMs = 2000;
constexpr qint64 periodeSonnerieMs = 6000;
constexpr qint64 delaiNegociationMs = 2000;
constexpr int longueurLigneMax = 255;

QByteArray texteCode(int code)
{
    switch (code) {
    case 0: return "OK";
    case 1: return "CONNECT";
    case 2: return "RING";
    case 3: return "NO CARRIER";
    case 4: return "ERROR";
    case 6: return "NO DIAL TONE";
    case 7: return "BUSY";
    }
    return "ERROR";
}
}

ModemHayes::ModemHayes(Plateforme &plateforme, CentralTelephonique &central, ReglagesModem reglages)
    : mPlateforme(plateforme), mCentral(central), mReglages(std::move(reglages))
{
    reinitialiser();
    mCentral.inscrire(this);
}

ModemHayes::~ModemHayes()
{
    raccrocher(true);
    annulerTout();
    mCentral.retirer(this);
}

void ModemHayes::reinitialiser()
{
    mRegistres = {{0, 0}, {2, 43}, {3, 13}, {4, 10}, {5, 8}, {7, 50}, {12, 50}};
    mEcho = true;
    mVerbeux = true;
    mMuet = false;
}

void ModemHayes::noter(const QString &texte)
{
    if (journal)
        journal(texte);
}

void ModemHayes::programmer(Plateforme::Identifiant &id, qint64 delaiMs, std::function<void()> action)
{
    if (id)
        mPlateforme.annuler(id);
    id = mPlateforme.planifier(delaiMs * 1000, [&id, action = std::move(action)] {
        id = 0;
        action();
    });
}

void ModemHayes::annulerTout()
{
    for (Plateforme::Identifiant *id : {&mTempo, &mGarde, &mCoupure, &mAttenteS7}) {
        if (*id)
            mPlateforme.annuler(*id);
        *id = 0;
    }
}

void ModemHayes::brancherCable(LigneSimulee::Extremite &extremite)
{
    extremite.brancher(this, [this](const QByteArray &octets) { depuisTerminal(octets); });
    versTerminal = [&extremite](const QByteArray &octets) { extremite.envoyer(octets); };
    extremite.surPresenceAutre = [this](bool present) { setDtr(present); };
}

void ModemHayes::setDtr(bool actif)
{
    const bool chute = mDtr && !actif;
    mDtr = actif;
    mLigneCommande.clear(); // a new computer starts a new line
    if (chute && mEtat != Etat::Repos) {
        noter(QStringLiteral("modem %1 : le poste a fermé son port, raccrochage").arg(numero()));
        raccrocher(true);
    }
}

void ModemHayes::resultat(Code code, const QByteArray &suite)
{
    if (mMuet || !versTerminal)
        return;
    if (mVerbeux)
        versTerminal("\r\n" + texteCode(code) + suite + "\r\n");
    else
        versTerminal(QByteArray::number(int(code)) + "\r");
}

void ModemHayes::depuisTerminal(const QByteArray &octets)
{
    if (mEtat == Etat::Donnees) {
        surveillerEchappement(octets);
        return;
    }
    // The echo goes out in one piece, before any answer it precedes.
    QByteArray echo;
    const auto renvoyerEcho = [&] {
        if (!echo.isEmpty() && mEcho && versTerminal)
            versTerminal(std::exchange(echo, QByteArray()));
        echo.clear();
    };
    for (const char c : octets) {
        echo.append(c);
        if (c == char(mRegistres.value(3, 13))) {
            renvoyerEcho();
            const QByteArray ligne = std::exchange(mLigneCommande, QByteArray());
            executerLigne(ligne);
            if (mEtat == Etat::Donnees)
                return; // bytes after a command that went online are data; none here
        } else if (c == char(mRegistres.value(5, 8))) {
            mLigneCommande.chop(1);
        } else if (c != '\n' && c != '\0' && mLigneCommande.size() <= longueurLigneMax) {
            mLigneCommande.append(c); // beyond the buffer a modem keeps nothing: the line will be refused
        }
    }
    renvoyerEcho();
}

void ModemHayes::executerLigne(const QByteArray &brute)
{
    const QByteArray ligne = brute.trimmed();
    if (ligne.size() < 2 || ligne.left(2).toUpper() != "AT") {
        if (!ligne.isEmpty())
            noter(QStringLiteral("modem %1 : ligne ignorée, sans AT en tête : %2")
                      .arg(numero(), QString::fromLatin1(ligne.left(40).toPercentEncoding(" +"))));
        return; // a real modem ignores what does not begin with AT
    }
    if (ligne.size() > longueurLigneMax) {
        resultat(ERROR);
        return;
    }
    bool reponseDonnee = false;
    qsizetype i = 2;
    while (i < ligne.size()) {
        if (!executerCommande(ligne, i, reponseDonnee)) {
            resultat(ERROR);
            return;
        }
        if (reponseDonnee)
            return; // dialling, answering and going online answer later or by themselves
    }
    resultat(OK);
}

int ModemHayes::lireNombre(const QByteArray &ligne, qsizetype &i, int parDefaut)
{
    int valeur = 0;
    bool chiffre = false;
    while (i < ligne.size() && ligne[i] >= '0' && ligne[i] <= '9') {
        valeur = valeur * 10 + (ligne[i] - '0');
        chiffre = true;
        ++i;
        if (valeur > 255)
            return -1;
    }
    return chiffre ? valeur : parDefaut;
}

bool ModemHayes::executerCommande(const QByteArray &ligne, qsizetype &i, bool &reponseDonnee)
{
    const auto nombre = [&](int parDefaut) { return lireNombre(ligne, i, parDefaut); };
    // E, V, Q: 0 or 1 into their flag.
    const auto drapeau = [&](bool &membre) {
        const int v = nombre(0);
        membre = v == 1;
        return v == 0 || v == 1;
    };
    const char c = char(std::toupper(static_cast<unsigned char>(ligne[i++])));
    switch (c) {
    case ' ': return true;
    case '&': return commandeEtendue(ligne, i);
    case 'Z': {
        const int valeur = nombre(0);
        reinitialiser();
        return valeur >= 0;
    }
    case 'E': return drapeau(mEcho);
    case 'V': return drapeau(mVerbeux);
    case 'Q': return drapeau(mMuet);
    case 'M': case 'L': case 'X': case 'N': case 'W': case 'B': case 'P': case 'T': case 'Y': {
        const int v = nombre(0);
        return v >= 0 && v <= 7;
    }
    case 'I':
        nombre(0);
        if (versTerminal && !mMuet)
            versTerminal("\r\nEmulateur de modem Navette\r\n");
        return true;
    case 'S': return commandeRegistre(ligne, i);
    case 'H':
        nombre(0);
        raccrocher(true);
        return true;
    case 'A':
        if (mEtat != Etat::Sonnerie)
            return false;
        reponseDonnee = true;
        decrocher();
        return true;
    case 'O':
        nombre(0);
        if (mEtat != Etat::CommandeEnLigne)
            return false;
        reponseDonnee = true;
        mEtat = Etat::Donnees;
        resultat(CONNECT, " " + QByteArray::number(mVitesseConnexion));
        return true;
    case 'D': return commandeNumeroter(ligne, i, reponseDonnee);
    default: return false;
    }
}

bool ModemHayes::commandeEtendue(const QByteArray &ligne, qsizetype &i)
{
    if (i >= ligne.size())
        return false;
    const char c = char(std::toupper(static_cast<unsigned char>(ligne[i++])));
    if (lireNombre(ligne, i, 0) < 0)
        return false;
    if (c == 'F')
        reinitialiser();
    return QByteArrayLiteral("CDFKNQSW").contains(c);
}

bool ModemHayes::commandeRegistre(const QByteArray &ligne, qsizetype &i)
{
    const int registreNumero = lireNombre(ligne, i, -1);
    if (registreNumero < 0 || i >= ligne.size())
        return false;
    if (ligne[i] == '?') {
        ++i;
        if (versTerminal && !mMuet)
            versTerminal("\r\n" + QByteArray::number(mRegistres.value(registreNumero, 0)).rightJustified(3, '0') + "\r\n");
        return true;
    }
    if (ligne[i] != '=')
        return false;
    ++i;
    const int valeur = lireNombre(ligne, i, 0);
    if (valeur < 0)
        return false;
    mRegistres[registreNumero] = valeur;
    return true;
}

bool ModemHayes::commandeNumeroter(const QByteArray &ligne, qsizetype &i, bool &reponseDonnee)
{
    const QByteArray numero = ligne.mid(i);
    i = ligne.size();
    if (mEtat != Etat::Repos)
        return false;
    QByteArray chiffres;
    for (const char x : numero) {
        const char m = char(std::toupper(static_cast<unsigned char>(x)));
        if ((m >= '0' && m <= '9') || m == '*' || m == '#')
            chiffres.append(m);
        else if (!QByteArrayLiteral("TPW,@!;-() ").contains(m))
            return false;
    }
    reponseDonnee = true;
    numeroter(chiffres);
    return true;
}

void ModemHayes::numeroter(const QByteArray &numero)
{
    mEtat = Etat::Numerotation;
    noter(QStringLiteral("modem %1 : numérotation du %2").arg(this->numero(), QString::fromLatin1(numero)));
    if (mReglages.sansTonalite) {
        programmer(mTempo, delaiOccupeMs, [this] {
            mEtat = Etat::Repos;
            resultat(NO_DIAL_TONE);
        });
        return;
    }
    // Without an answer within S7 seconds the call is given up.
    programmer(mAttenteS7, qint64(mRegistres.value(7, 50)) * 1000, [this] {
        noter(QStringLiteral("modem %1 : pas de réponse, abandon de l'appel").arg(this->numero()));
        if (mDistant)
            mDistant->appelAbandonne();
        mDistant = nullptr;
        if (mTempo)
            mPlateforme.annuler(mTempo);
        mTempo = 0;
        mEtat = Etat::Repos;
        resultat(NO_CARRIER);
    });
    programmer(mTempo, delaiNumerotationMs, [this, numero] {
        ModemHayes *appele = mCentral.trouver(QString::fromLatin1(numero));
        if (!appele || appele == this)
            return; // nobody at that number: S7 runs out
        if (!appele->libre()) {
            programmer(mTempo, delaiOccupeMs, [this] {
                if (mAttenteS7)
                    mPlateforme.annuler(mAttenteS7);
                mAttenteS7 = 0;
                mEtat = Etat::Repos;
                resultat(BUSY);
            });
            return;
        }
        mDistant = appele;
        appele->appelEntrant(this);
    });
}

void ModemHayes::appelEntrant(ModemHayes *appelant)
{
    mEtat = Etat::Sonnerie;
    mDistant = appelant;
    mSonneries = 0;
    noter(QStringLiteral("modem %1 : appel entrant").arg(numero()));
    sonner();
}

void ModemHayes::sonner()
{
    ++mSonneries;
    resultat(RING);
    const int s0 = mRegistres.value(0, 0);
    if (s0 > 0 && mSonneries >= s0 && !mReglages.sansReponse) {
        decrocher();
        return;
    }
    programmer(mTempo, periodeSonnerieMs, [this] { sonner(); });
}

void ModemHayes::appelAbandonne()
{
    if (mEtat != Etat::Sonnerie && mEtat != Etat::Negociation)
        return;
    if (mTempo)
        mPlateforme.annuler(mTempo);
    mTempo = 0;
    mDistant = nullptr;
    const bool negociait = mEtat == Etat::Negociation;
    mEtat = Etat::Repos;
    if (negociait)
        resultat(NO_CARRIER);
}

void ModemHayes::decrocher()
{
    ModemHayes *appelant = mDistant;
    if (!appelant)
        return;
    mEtat = Etat::Negociation;
    appelant->mEtat = Etat::Negociation;
    noter(QStringLiteral("modem %1 : décroche, négociation avec le %2").arg(numero(), appelant->numero()));
    programmer(mTempo, delaiNegociationMs, [this, appelant] {
        const qint32 vitesse = std::min(mReglages.vitesse, appelant->mReglages.vitesse);
        LigneSimulee &ligne = mCentral.relier(appelant, this, vitesse, std::max(mReglages.bruit, appelant->mReglages.bruit),
                                             appelant->mReglages.graine, std::max(mReglages.latenceMs, appelant->mReglages.latenceMs));
        appelant->porteuse(this, ligne.a(), vitesse);
        porteuse(appelant, ligne.b(), vitesse);
    });
}

void ModemHayes::porteuse(ModemHayes *distant, LigneSimulee::Extremite &ligne, qint32 vitesse)
{
    if (mAttenteS7)
        mPlateforme.annuler(mAttenteS7);
    mAttenteS7 = 0;
    mDistant = distant;
    mLigne = &ligne;
    mVitesseConnexion = vitesse;
    mEtat = Etat::Donnees;
    mPlusRecus = 0;
    mDernierOctetUs = mPlateforme.maintenantUs();
    ligne.brancher(this, [this](const QByteArray &octets) { recevoirDonnees(octets); });
    noter(QStringLiteral("modem %1 : connecté au %2 à %3 bauds").arg(numero(), distant->numero()).arg(vitesse));
    resultat(CONNECT, " " + QByteArray::number(vitesse));
    if (mReglages.coupureApresMs > 0)
        programmer(mCoupure, mReglages.coupureApresMs, [this] {
            noter(QStringLiteral("modem %1 : perte de porteuse").arg(numero()));
            if (mDistant)
                mDistant->perteDePorteuse();
            perteDePorteuse();
        });
}

void ModemHayes::recevoirDonnees(const QByteArray &octets)
{
    if (mEtat == Etat::Donnees && versTerminal)
        versTerminal(octets);
}

void ModemHayes::surveillerEchappement(const QByteArray &octets)
{
    // "+++" counts only after a silence of the guard time, alone, followed by the same silence;
    // anything else is data, the "+" included.
    const qint64 garde = qint64(mRegistres.value(12, 50)) * 20'000;
    const qint64 maintenant = mPlateforme.maintenantUs();
    const bool silenceAvant = maintenant - mDernierOctetUs >= garde;
    const QByteArray plusEnAttente(mPlusRecus, '+');
    if ((mPlusRecus > 0 || silenceAvant) && octets.count('+') == octets.size() && mPlusRecus + octets.size() <= 3) {
        mPlusRecus += int(octets.size());
        if (mPlusRecus == 3)
            programmer(mGarde, garde / 1000, [this] {
                mPlusRecus = 0;
                mEtat = Etat::CommandeEnLigne;
                noter(QStringLiteral("modem %1 : retour en mode commande").arg(numero()));
                resultat(OK);
            });
        return;
    }
    if (mGarde)
        mPlateforme.annuler(mGarde);
    mGarde = 0;
    mPlusRecus = 0;
    mDernierOctetUs = maintenant;
    if (mLigne)
        mLigne->envoyer(plusEnAttente + octets);
}

void ModemHayes::perteDePorteuse()
{
    if (mEtat != Etat::Donnees && mEtat != Etat::CommandeEnLigne && mEtat != Etat::Negociation)
        return;
    mCentral.liberer(this);
    annulerTout();
    mLigne = nullptr;
    mDistant = nullptr;
    mEtat = Etat::Repos;
    resultat(NO_CARRIER);
}

void ModemHayes::raccrocher(bool prevenirDistant)
{
    ModemHayes *distant = std::exchange(mDistant, nullptr);
    const Etat avant = mEtat;
    mEtat = Etat::Repos;
    mLigne = nullptr;
    mPlusRecus = 0;
    annulerTout();
    if (!distant || !prevenirDistant)
        return;
    if (avant == Etat::Numerotation)
        distant->appelAbandonne();
    else if (avant == Etat::Donnees || avant == Etat::CommandeEnLigne || avant == Etat::Negociation) {
        mCentral.liberer(this);
        distant->perteDePorteuse();
    }
}
