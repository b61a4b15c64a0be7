#include "platform/production/Rfc2217.h"

namespace {
constexpr quint8 REGLER_VITESSE = 1, REGLER_BITS = 2, REGLER_PARITE = 3, REGLER_ARRET = 4, REGLER_CONTROLE = 5,
                 MASQUE_MODEM = 11, PURGER = 12;
constexpr quint8 SANS_CONTROLE_DE_FLUX = 1, DTR_HAUT = 8, DTR_BAS = 9, RTS_HAUT = 11;
constexpr quint8 PURGER_EMISSION = 2;

QByteArray octets(std::initializer_list<quint8> liste)
{
    QByteArray b;
    for (quint8 o : liste)
        b.append(char(o));
    return b;
}
}

QByteArray Rfc2217::ouverture()
{
    return octets({IAC, WILL, PORT_COM, IAC, WILL, BINAIRE, IAC, DO, BINAIRE, IAC, WILL, SANS_GO_AHEAD, IAC, DO,
                   SANS_GO_AHEAD});
}

QByteArray Rfc2217::commande(quint8 code, const QByteArray &valeur)
{
    QByteArray b = octets({IAC, SB, PORT_COM, code});
    for (char c : valeur) {
        b.append(c);
        if (quint8(c) == IAC)
            b.append(c);
    }
    return b + octets({IAC, SE});
}

QByteArray Rfc2217::reglagesDeLigne() const
{
    const quint32 v = quint32(mReglages.bauds);
    const QByteArray vitesse = octets({quint8(v >> 24), quint8(v >> 16), quint8(v >> 8), quint8(v)});
    static constexpr char parites[] = "NOEMS"; // 1 none, 2 odd, 3 even, 4 mark, 5 space
    const char *p = std::char_traits<char>::find(parites, 5, mReglages.parite);
    const quint8 parite = p ? quint8(p - parites + 1) : 1;
    return commande(REGLER_VITESSE, vitesse) + commande(REGLER_BITS, octets({quint8(mReglages.bitsDonnees)}))
        + commande(REGLER_PARITE, octets({parite})) + commande(REGLER_ARRET, octets({quint8(mReglages.bitsStop)}))
        + commande(REGLER_CONTROLE, octets({SANS_CONTROLE_DE_FLUX})) + commande(REGLER_CONTROLE, octets({DTR_HAUT}))
        + commande(REGLER_CONTROLE, octets({RTS_HAUT}))
        + commande(MASQUE_MODEM, octets({quint8(PORTEUSE | CHANGEMENT_PORTEUSE)}));
}

QByteArray Rfc2217::dtr(bool haut) const
{
    return portComAccepte() ? commande(REGLER_CONTROLE, octets({haut ? DTR_HAUT : DTR_BAS})) : QByteArray();
}

QByteArray Rfc2217::viderEmission() const
{
    return portComAccepte() ? commande(PURGER, octets({PURGER_EMISSION})) : QByteArray();
}

QByteArray Rfc2217::coder(const QByteArray &donnees) const
{
    QByteArray b;
    b.reserve(donnees.size() + donnees.size() / 64 + 8);
    for (char c : donnees) {
        b.append(c);
        if (quint8(c) == IAC)
            b.append(c);
        else if (c == '\r' && !mBinaireEmis)
            b.append('\0'); // a bare CR, in the Telnet text mode
    }
    return b;
}

void Rfc2217::negociation(quint8 verbe, quint8 option, QByteArray &reponse)
{
    const bool nous = verbe == DO || verbe == DONT; // about what we send
    const bool oui = verbe == DO || verbe == WILL;
    if (option == PORT_COM && nous) {
        const Option avant = mPortCom;
        mPortCom = oui ? Option::Acceptee : Option::Refusee;
        if (oui && avant != Option::Acceptee)
            reponse += reglagesDeLigne();
        return;
    }
    if (option == BINAIRE || option == SANS_GO_AHEAD) {
        // Asked for already at the opening: an agreement or a refusal needs no answer.
        if (option == BINAIRE)
            (nous ? mBinaireEmis : mBinaireRecu) = oui;
        return;
    }
    if (oui) // an option we do not know: refused
        reponse += octets({IAC, quint8(nous ? WONT : DONT), option});
}

void Rfc2217::sousNegociation(Lu &lu)
{
    if (mSous.size() < 3 || quint8(mSous[0]) != PORT_COM || quint8(mSous[1]) != NOTIFICATION_MODEM)
        return; // the echoes of our settings, the line state: nothing to act on
    const bool porteuse = quint8(mSous[2]) & PORTEUSE;
    lu.porteuseMontee = lu.porteuseMontee || (porteuse && !mPorteuse);
    lu.porteuseTombee = lu.porteuseTombee || (mPorteuse && !porteuse);
    mPorteuse = porteuse;
}

void Rfc2217::donnee(char c, Lu &lu)
{
    const bool nulApresCr = mApresCr && c == '\0' && !mBinaireRecu;
    mApresCr = c == '\r';
    if (nulApresCr)
        return;
    lu.donnees.append(c);
}

Rfc2217::Lu Rfc2217::lire(const QByteArray &brut)
{
    Lu lu;
    for (char c : brut) {
        const quint8 o = quint8(c);
        switch (mEtat) {
        case Etat::Donnees:
            if (o == IAC)
                mEtat = Etat::Iac;
            else
                donnee(c, lu);
            break;
        case Etat::Iac:
            if (o == IAC) {
                donnee(c, lu);
                mEtat = Etat::Donnees;
            } else if (o >= WILL) {
                mVerbe = o;
                mEtat = Etat::Verbe;
            } else if (o == SB) {
                mSous.clear();
                mEtat = Etat::SousNegociation;
            } else {
                mEtat = Etat::Donnees; // NOP, GA and the other two-byte commands
            }
            break;
        case Etat::Verbe:
            negociation(mVerbe, o, lu.reponse);
            mEtat = Etat::Donnees;
            break;
        case Etat::SousNegociation:
            if (o == IAC)
                mEtat = Etat::IacDansSousNegociation;
            else if (mSous.size() < 64) // a notification is a few bytes: a longer one is not ours
                mSous.append(c);
            break;
        case Etat::IacDansSousNegociation:
            if (o == IAC) {
                if (mSous.size() < 64)
                    mSous.append(c);
                mEtat = Etat::SousNegociation;
            } else {
                if (o == SE)
                    sousNegociation(lu);
                mEtat = Etat::Donnees;
            }
            break;
        }
    }
    return lu;
}
