#include "tests/support/BancModems.h"

BancModems::BancModems(ReglagesModem reglages1, ReglagesModem reglages2, quint32 tickInitial) : plateforme(tickInitial)
{
    boites.setPlateforme(&plateforme);
    if (reglages1.numero.isEmpty())
        reglages1.numero = QStringLiteral("1");
    if (reglages2.numero.isEmpty())
        reglages2.numero = QStringLiteral("2");
    modem1 = std::make_unique<ModemHayes>(plateforme, central, reglages1);
    modem2 = std::make_unique<ModemHayes>(plateforme, central, reglages2);
    modem1->brancherCable(cable1.b());
    modem2->brancherCable(cable2.b());
    ports.declarer(QStringLiteral("COM1:"), cable1.a());
    ports.declarer(QStringLiteral("COM2:"), cable2.a());
}
