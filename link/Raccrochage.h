#pragma once

#include "platform/JetonVie.h"

#include <QByteArray>

class CInterlocuteur;

// Taking the link down: a goodbye to the other station, the calling modem back to command
// mode and hung up, the modem reset, the port closed.
//
// It waits with events running: the link may be torn down meanwhile, and this with it; each
// step gets the station's Temoin and reads it first.
class Raccrochage
{
public:
    explicit Raccrochage(CInterlocuteur &poste) : mPoste(poste) {}

    void raccrocher();

private:
    // The goodbye goes out only on an open port: reopening one that dropped would cost
    // seconds and send a STOP that a peer on a direct cable would obey.
    bool portOuvert(const JetonVie::Temoin &vivant) const;
    bool ecrire(const JetonVie::Temoin &vivant, const QByteArray &texte, const QByteArray &reponse = {}, qint32 delai = 2000);
    void direAuRevoir(const JetonVie::Temoin &vivant);
    void raccrocherModem(const JetonVie::Temoin &vivant);

    CInterlocuteur &mPoste;
};
