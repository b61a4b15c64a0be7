#pragma once

#include <QByteArray>

#include <optional>

class CanalLiaison;

// What the other station showed of itself in its answer to our link test: whether it has our
// extension, the longest slice it takes, the round trip, and on a cable its rank, which says
// which of the two leads. All of it is forgotten at every loss of the link.
class Reconnaissance
{
public:
    explicit Reconnaissance(CanalLiaison &canal);

    void oublier();
    // The link starts over: what it showed goes, and it is asked again at the next chance.
    void redemander();
    // A call came up (or a cable linked): the calling side asks back once the other tests it.
    void debutConnexion(bool appelant);
    // Its answer to our test; then the owner is told which protocol the link speaks.
    // autorise: the link has nothing left to prove, so the leader may start at once.
    void noter(const QByteArray &reponse, quint32 allerRetourMs, bool autorise);
    // We answered its test: the station that asks back does so now.
    void apresReponseAuTest();
    // Before a file: a call that just came up gets the few seconds its first link tests take,
    // so that the file does not leave the old way for want of them.
    bool attendre(); // false when the engine went meanwhile

    bool etendue() const { return mPartieDistante.has_value(); }
    qint32 partieDistante() const { return mPartieDistante.value_or(0); }
    bool memoireDistante() const { return mMemoireDistante; }
    quint32 allerRetourMs() const { return mAllerRetourMs; }
    QByteArray reponseDistante() const { return mReponseDistante; }
    // What this station answers to a link test.
    QByteArray reponseAuTest() const;
    // The caller of a call; on a cable, the one of higher rank once the other showed its own,
    // else the one set as calling.
    bool meneLaLiaison() const;

private:
    QByteArray rang() const;
    void annoncer(bool autorise);
    void tester(int essais);

    CanalLiaison &mCanal;
    std::optional<qint32> mPartieDistante;
    std::optional<QByteArray> mRangDistant;
    bool mMemoireDistante = false;
    QByteArray mReponseDistante;        // its answer to our link test, as it came
    const QByteArray mTirage;           // this station's draw for its rank on a cable
    bool mDemandees = false;            // a link test was answered on this connection
    std::optional<quint32> mDebutAppel; // when the call came up, while its tests may still come
    bool mProtocoleAnnonce = false;
    bool mOrigineAnnoncee = false;
    bool mADemander = false;
    quint32 mAllerRetourMs = 0;
};
