#include "tests/support/DeuxStationsSurCable.h"

DeuxStationsSurCable::DeuxStationsSurCable(LigneSimulee::Reglages reglages, quint32 tickInitial)
    : plateforme(tickInitial), ligne(plateforme, reglages)
{
    boites.setPlateforme(&plateforme);
    ports.declarer(QStringLiteral("COM1:"), ligne.a());
    ports.declarer(QStringLiteral("COM2:"), ligne.b());
}

void DeuxStationsSurCable::demarrer(const QByteArray &clesA, const QByteArray &clesB)
{
    a.creerConfiguree(QStringLiteral("COM1:"), "PosteAppellant=-1\n" + clesA);
    b.creerConfiguree(QStringLiteral("COM2:"), clesB);
    for (StationSimulee *s : {&a, &b}) {
        s->poste->AttacherMinuterie();
        s->poste->FrmComm->Connecter();
    }
}

void DeuxStationsSurCable::reconnaitre()
{
    a.poste->TesterConnexion(true);
    b.poste->TesterConnexion(true);
    plateforme.avancer(200);
}

void DeuxStationsSurCable::lancer(StationSimulee &station, const QString &nom, const QByteArray &cles, qint64 dansMs)
{
    const QByteArray port = &station == &a ? "COM1:" : "COM2:";
    station.charger("[Port " + nom.toUtf8() + "]\nNumPort=" + port + "\nNumTelAppel=DIRECT\n" + cles, nom);
    plateforme.planifier(dansMs * 1000, [&station] { station.fenetre().Form_Activate(); });
}
