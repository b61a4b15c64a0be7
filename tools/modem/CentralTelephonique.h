#pragma once

#include "platform/JetonVie.h"
#include "tools/modem/LigneSimulee.h"

#include <QMap>
#include <QString>

#include <memory>
#include <vector>

class ModemHayes;
class Plateforme;

// The telephone network between emulated modems: finds a modem by its number and, once a call
// is answered, joins the two by a line at the connection's speed.
class CentralTelephonique
{
public:
    explicit CentralTelephonique(Plateforme &plateforme) : mPlateforme(plateforme) {}
    ~CentralTelephonique();

    void inscrire(ModemHayes *modem);
    void retirer(ModemHayes *modem);
    ModemHayes *trouver(const QString &numero) const;

    // The line of a call: end a() is the caller's, b() the called modem's.
    LigneSimulee &relier(ModemHayes *appelant, ModemHayes *appele, qint32 vitesse, double bruit, quint32 graine = 1,
                         quint32 latenceMs = 0);
    // Ends the call this modem is in; its line goes once pending events have run.
    void liberer(ModemHayes *modem);

private:
    struct Communication
    {
        ModemHayes *appelant;
        ModemHayes *appele;
        std::unique_ptr<LigneSimulee> ligne;
    };

    Plateforme &mPlateforme;
    QMap<QString, ModemHayes *> mModems;
    std::vector<Communication> mCommunications;
    std::vector<std::unique_ptr<LigneSimulee>> mLignesLiberees;
    quint32 mAppels = 0; // so that no two calls share their noise
    JetonVie mVie;
};
