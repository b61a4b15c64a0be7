#include "tests/support/BancDeuxPostes.h"

BancDeuxPostes::BancDeuxPostes(LigneSimulee::Reglages reglages, quint32 tickInitial)
    : plateforme(tickInitial),
      ligne(plateforme, reglages),
      a({plateforme, boites, ports, disque}, plateforme),
      b({plateforme, boites, ports, disque}, plateforme)
{
    ports.declarer(QStringLiteral("COM1:"), ligne.a());
    ports.declarer(QStringLiteral("COM2:"), ligne.b());
}

void BancDeuxPostes::demarrer(const QByteArray &clesA, const QByteArray &clesB)
{
    a.creerConfiguree(QStringLiteral("COM1:"), "PosteAppellant=-1\n" + clesA);
    b.creerConfiguree(QStringLiteral("COM2:"), clesB);
    for (PosteSimule *p : {&a, &b}) {
        p->poste->AttacherMinuterie();
        p->poste->FrmComm->Connecter();
    }
}
