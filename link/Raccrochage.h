#pragma once

#include "link/CanalLiaison.h"

#include <QByteArray>


// Taking the line down: a goodbye to the other station, the calling modem back to command
// mode and hung up, the modem reset, then the port closed. What the engine forgets of the
// link is its own business, around these two steps.
class Raccrochage
{
public:
    explicit Raccrochage(CanalLiaison &canal) : mCanal(canal) {}

    // False when the port was not open, and nothing was said.
    bool direAuRevoir();
    // False once the engine is gone.
    bool fermerPort();

private:
    // The goodbye goes out only on an open port: reopening one that dropped would cost
    // seconds and send a STOP that a peer on a direct cable would obey.
    // The steps run to their end while the station ends, and stop once it is gone: false
    // then, or when the port was closed and nothing went.
    bool ecrire(const QByteArray &texte, const QByteArray &reponse = {}, qint32 delai = DelaisMs::reponse);
    bool raccrocherModem();

    CanalLiaison &mCanal;
};
