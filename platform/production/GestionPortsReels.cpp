#include "platform/production/GestionPortsReels.h"

#include "platform/production/PortComRfc2217.h"
#include "platform/production/PortComSerie.h"
#include "platform/production/PortComTcp.h"

namespace {
// A port that never opens, for a name that leads nowhere: its reason shows when opening.
class PortComInvalide : public PortCom
{
public:
    PortComInvalide(const QString &nomPort, const QString &raison) : PortCom(nomPort), mRaison(raison) {}
    bool Ouvrir(QString *raison) override { return refuser(raison, mRaison); }
    void EcrireTexte(const QByteArray &) override {}
    void Fermer() override { setActif(false); }

private:
    QString mRaison;
};
}

GestionPortsReels::GestionPortsReels(Plateforme &plateforme, const CorrespondancePorts &correspondance)
    : mPlateforme(plateforme), mCorrespondance(correspondance)
{
}

std::unique_ptr<PortCom> GestionPortsReels::ObtenirPort(const QString &nomPort)
{
    const DestinationPort d = mCorrespondance.resoudre(nomPort);
    const QString nom = CorrespondancePorts::normaliser(nomPort);
    switch (d.genre) {
    case DestinationPort::Serie:
        return std::make_unique<PortComSerie>(nom, d.peripherique);
    case DestinationPort::Tcp:
        return std::make_unique<PortComTcp>(nom, d.hote, d.port, mPlateforme);
    case DestinationPort::Rfc2217:
        return std::make_unique<PortComRfc2217>(nom, d.hote, d.port, mPlateforme);
    case DestinationPort::Invalide:
        break;
    }
    return std::make_unique<PortComInvalide>(nom, d.erreur);
}
