#include "platform/production/PortComRfc2217.h"

#include "platform/Plateforme.h"

bool PortComRfc2217::Ouvrir(QString *raison)
{
    // Made before connecting: what the server says at once is part of the negotiation.
    mTelnet.emplace(Rfc2217::Reglages{mBauds, lettreParite().isEmpty() ? 'N' : lettreParite().at(0).toLatin1(), mBitsDonnees, mBitsStop});
    if (!PortComTcp::Ouvrir(raison)) {
        mTelnet.reset();
        return false;
    }
    ecrireBrut(mTelnet->ouverture());
    // The first modem command must find the line set.
    plateforme().attendreQue([this] { return !mTelnet || mTelnet->negocie() || !socket().isOpen(); }, delaiNegociationMs);
    if (socket().state() == QAbstractSocket::ConnectedState)
        return true;
    return refuser(raison, QStringLiteral("Le serveur du port %1 a coupé la connexion pendant le réglage de la ligne.").arg(NomPort()));
}

QByteArray PortComRfc2217::depuisLaLigne(const QByteArray &brut)
{
    if (!mTelnet)
        return {};
    Rfc2217::Lu lu = mTelnet->lire(brut);
    ecrireBrut(lu.reponse);
    mPorteuseSignalee = mPorteuseSignalee || lu.porteuseMontee;
    if (lu.porteuseTombee)
        porteuseTombee();
    return lu.donnees;
}

void PortComRfc2217::EcrireTexte(const QByteArray &texte)
{
    if (mTelnet)
        ecrireBrut(mTelnet->coder(texte));
}

void PortComRfc2217::viderEmission()
{
    if (mTelnet)
        ecrireBrut(mTelnet->viderEmission());
}

void PortComRfc2217::Fermer()
{
    // A modem set to &D2 hangs up at once; the server may keep its port open after we go.
    if (mTelnet && socket().state() == QAbstractSocket::ConnectedState) {
        ecrireBrut(mTelnet->dtr(false));
        socket().waitForBytesWritten(200);
    }
    mTelnet.reset();
    PortComTcp::Fermer();
}
