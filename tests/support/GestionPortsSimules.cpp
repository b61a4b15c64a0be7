#include "tests/support/GestionPortsSimules.h"

#include "platform/CorrespondancePorts.h"
#include "tests/support/PortComSimule.h"

void GestionPortsSimules::declarer(const QString &nomPort, LigneSimulee::Extremite &extremite)
{
    mExtremites.insert(CorrespondancePorts::normaliser(nomPort), &extremite);
}

std::unique_ptr<PortCom> GestionPortsSimules::ObtenirPort(const QString &nomPort)
{
    ++mPortsObtenus;
    const QString nom = CorrespondancePorts::normaliser(nomPort);
    return std::make_unique<PortComSimule>(nom, mExtremites.value(nom, nullptr));
}
