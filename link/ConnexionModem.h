#pragma once

#include <QByteArray>
#include <QString>


class CanalLiaison;

// Bringing the link up: the modem set up by the station's script (two tries, then the user
// is asked), then the number dialled by the calling station, or the modem made to answer
// by the other. A direct cable skips the dialling and tests the link; when nothing on it
// answers the script, there is no modem at all, and both ends test the link whatever their role.
//
// Each step waits with events running: the link may be torn down meanwhile, and this with it.
class ConnexionModem
{
public:
    explicit ConnexionModem(CanalLiaison &canal) : mCanal(canal) {}

    // What Connecter returns; the supervision is armed for what comes next.
    bool etablir();
    bool parametrer(const QByteArray &commande, const QString &libelle, const QByteArray &attendu, int essais, qint32 pause);
    // The line is a bare cable: the last Connecter found no modem on a "DIRECT" line.
    bool sansModem() const { return mSansModem; }

private:
    // A modem command, or the whole script. Fin: the link ended meanwhile, return at once.
    enum class Reponse { Acceptee, Refusee, Fin };
    Reponse parametrerModem(const QByteArray &commande, const QString &libelle, const QByteArray &attendu, int essais,
                            qint32 pause);
    // Each step: false when the connection stops there, and etablir with it.
    bool initialiser();
    // On a cable the first piece left unanswered ends the script: there is no modem.
    Reponse executerScript(bool cable);
    void constaterCable(bool sansModem);
    bool relierCable();
    bool apresEchecInitialisation(int essai);
    bool appeler();
    bool attendreAppel();

    CanalLiaison &mCanal;
    bool mInitialise = false; // once, for the life of the link
    bool mSansModem = false;
};
