#include "BancLigne.h"

#include "Windows1252.h"

BancLigne::BancLigne(LigneSimulee::Reglages reglages) : ligne(plateforme, reglages)
{
    ports.declarer(QStringLiteral("COM1:"), ligne.a());
    ligne.b().brancher(this, [this](const QByteArray &octets) {
        recuParLePair += octets;
        if (surReceptionPair)
            surReceptionPair(octets);
    });
}

BancLigne::~BancLigne()
{
    ligne.b().debrancher(this);
}

void BancLigne::pairEnvoie(const QByteArray &octets, quint32 dansMs)
{
    if (dansMs == 0) {
        ligne.b().envoyer(octets);
        return;
    }
    plateforme.planifier(qint64(dansMs) * 1000, [this, octets] { ligne.b().envoyer(octets); });
}

QByteArray BancLigne::trame(const QByteArray &texte)
{
    return FComm::STX + FComm::encoderEntete(texte.size()) + texte;
}

JournalFComm::JournalFComm(FComm &comm)
{
    comm.Reception.connecter([this](const QByteArray &t) {
        receptions.append(t);
        lignes << QStringLiteral("Reception:") + Windows1252::versTexte(t);
    });
    comm.ProgressRecept.connecter([this](qint32 r, qint32 a) { lignes << QStringLiteral("ProgressRecept:%1/%2").arg(r).arg(a); });
    comm.ProgressEmission.connecter([this](qint32 e, qint32 t) { lignes << QStringLiteral("ProgressEmission:%1/%2").arg(e).arg(t); });
    comm.Erreur.connecter([this](const QString &m) { lignes << QStringLiteral("Erreur:") + m; });
    comm.Information.connecter([this](const QString &m) { lignes << QStringLiteral("Information:") + m; });
    comm.ModemEtatConnexion.connecter([this](bool c) { lignes << QStringLiteral("ModemEtatConnexion:%1").arg(c); });
}
