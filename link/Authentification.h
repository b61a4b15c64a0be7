#pragma once

#include "securite/CleStation.h"
#include "securite/Noise.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

class CanalLiaison;

// Who the other station is, for a section that pins its key (CleDistante): the handshake
// right after recognition, the connection's keys, and what a station that has not proved
// itself may do — have its link tests answered, nothing more. A section without a pinned
// key keeps the plain wire and is said "non authentifiée".
//
// On the wire, in clear after the recognition answers: XKK1 + the first message in hex from
// the station that leads, XKK2 + the answer from the other, or XKREFUS + a reason. Then,
// sealed, XKFIN both ways confirms that each holds the keys.
class Authentification
{
public:
    explicit Authentification(CanalLiaison &canal) : mCanal(canal) {}

    static constexpr char Ouverture[] = "XKK1";
    static constexpr char Reponse[] = "XKK2";
    static constexpr char Confirmation[] = "XKFIN";
    static constexpr char Refus[] = "XKREFUS";
    static constexpr int echecsAvantRaccrochage = 3;
    static constexpr quint32 attenteDuMeneurMs = 5000;
    static constexpr quint32 relanceMs = 15000; // a link not sealed by then tests again

    // At start-up: this station's key (made when missing) and the pinned one. False, said,
    // when the pinned key is unreadable: the station then exchanges nothing.
    bool configurer(const QString &dossierConfiguration, const QString &section, const QString &cleDistante);
    bool exigee() const { return mExigee; }
    // Established, and its keys still on the line: closing the port drops them.
    bool etablie() const;
    // The other station may act, and be sent what it asks for.
    bool autorise() const { return !mExigee || etablie(); }
    // For the state line and the remote control.
    QString etat() const;
    QString empreinteLocale() const { return mCle ? CleStation::empreinte(mCle->paire().publique) : QString(); }
    QString empreinteDistante() const { return mCleDistante ? CleStation::empreinte(*mCleDistante) : QString(); }
    quint32 tramesRefusees() const { return mTramesRefusees; }

    // The connection ended: its keys and its counts go.
    void oublier();
    // The other station started over in clear on this connection: the keys go, the failed
    // tries stay, and one more counts if a handshake was under way.
    void recommencer();
    // Our link test was answered; we answered one of the other's.
    void apresReconnaissance();
    void apresReponseAuTest();
    bool surOuverture(const QByteArray &texte);
    bool surConfirmation(const QByteArray &texte);
    // A text the other station may not send before it has proved itself: said once, dropped.
    bool ignorer(const QByteArray &texte);
    // Whether this station may send that text now; said once when not.
    bool peutEnvoyer(const QByteArray &texte);
    void surTrameRefusee(const QByteArray &trame);

private:
    enum class Etat { Aucune, Ouverture, AttenteConfirmation, Etablie };
    QByteArray prologue(bool initiateur) const;
    void planifierOuverture(quint32 delaiMs = 100, int essais = 20);
    void ouvrir();
    void installerCanal();
    void etablir();
    void echouer(const QString &raison);
    void lacher();
    void veiller();
    void raccrocher();
    QString deuxEmpreintes() const;
    qint32 delai() const;

    CanalLiaison &mCanal;
    std::optional<CleStation> mCle;
    std::optional<QByteArray> mCleDistante;
    bool mExigee = false;
    Etat mEtat = Etat::Aucune;
    std::unique_ptr<Noise::PoigneeDeMainKK> mPoignee;
    bool mReconnu = false;       // our link test was answered on this connection
    bool mTestRepondu = false;   // and we answered one of the other's
    quint32 mTour = 0; // a planned step belongs to one handshake of one connection
    int mEchecs = 0;   // failed tries on this connection: nothing in clear resets them
    quint32 mTourVeille = ~0u;
    bool mRaisonDite = false;
    bool mIgnoreDit = false;
    bool mRetenuDit = false;
    bool mNonAuthentifieeDit = false;
    bool mRefusDit = false;
    quint32 mTramesRefusees = 0;
};
