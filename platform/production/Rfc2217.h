#pragma once

#include <QByteArray>

// The client side of a Telnet connection with the COM-PORT-OPTION (RFC 2217), as bytes in and
// bytes out, without a socket or a clock. It asks for binary both ways, sets the line once the
// server accepts the option, keeps 0xFF doubled, refuses the options it does not know and
// accepts refusals: a server that refuses the option still carries the data, only without
// line settings, DTR or carrier.
class Rfc2217
{
public:
    struct Reglages
    {
        qint32 bauds = 38400;
        char parite = 'N'; // N, E, O, M or S
        int bitsDonnees = 8;
        int bitsStop = 1;
    };

    // What a read gives: the serial data for the station, and what must go back to the server.
    struct Lu
    {
        QByteArray donnees;
        QByteArray reponse;
        bool porteuseMontee = false;
        bool porteuseTombee = false; // after a rise, behind the data
    };

    static constexpr quint8 IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240;
    static constexpr quint8 BINAIRE = 0, SANS_GO_AHEAD = 3, PORT_COM = 44;
    static constexpr quint8 NOTIFICATION_MODEM = 7 + 100;
    static constexpr quint8 PORTEUSE = 0x80, CHANGEMENT_PORTEUSE = 0x08;

    explicit Rfc2217(Reglages reglages) : mReglages(reglages) {}

    static QByteArray ouverture();
    QByteArray coder(const QByteArray &donnees) const;
    Lu lire(const QByteArray &brut);
    // Nothing when the server refused the option.
    QByteArray dtr(bool haut) const;
    QByteArray viderEmission() const;

    // The server answered the option, one way or the other.
    bool negocie() const { return mPortCom != Option::Demandee; }
    bool portComAccepte() const { return mPortCom == Option::Acceptee; }

private:
    enum class Option { Demandee, Acceptee, Refusee };

    QByteArray reglagesDeLigne() const;
    static QByteArray commande(quint8 code, const QByteArray &valeur);
    void negociation(quint8 verbe, quint8 option, QByteArray &reponse);
    void sousNegociation(Lu &lu);
    void donnee(char c, Lu &lu);

    Reglages mReglages;
    Option mPortCom = Option::Demandee;
    bool mBinaireRecu = false, mBinaireEmis = false;
    bool mPorteuse = false;

    enum class Etat { Donnees, Iac, Verbe, SousNegociation, IacDansSousNegociation };
    Etat mEtat = Etat::Donnees;
    quint8 mVerbe = 0;
    bool mApresCr = false;
    QByteArray mSous;
};
