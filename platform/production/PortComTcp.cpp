#include "platform/production/PortComTcp.h"

#include "platform/Plateforme.h"

PortComTcp::PortComTcp(QString nomPort, QString hote, quint16 port, Plateforme &plateforme)
    : PortComQt(std::move(nomPort)), mHote(std::move(hote)), mPort(port), mPlateforme(plateforme)
{
    brancher(&mSocket);
    QObject::connect(&mSocket, &QAbstractSocket::errorOccurred, &mContexte, [this](QAbstractSocket::SocketError e) {
        if (!Actif())
            return; // failures while opening are Ouvrir's to report
        setActif(false);
        signalerErreur(e == QAbstractSocket::RemoteHostClosedError
                           ? QStringLiteral("La connexion %1:%2 a été fermée par l'autre côté.").arg(mHote).arg(mPort)
                           : QStringLiteral("Erreur sur la connexion %1:%2 : %3").arg(mHote).arg(mPort).arg(mSocket.errorString()),
                       int(e));
    });
}

PortComTcp::~PortComTcp()
{
    mSocket.abort();
}

bool PortComTcp::Ouvrir(QString *raison)
{
    if (!verifierReglages(raison))
        return false;
    mSocket.abort();
    mSocket.connectToHost(mHote, mPort);
    mPlateforme.attendreQue([this] { return mSocket.state() == QAbstractSocket::ConnectedState
                                            || mSocket.state() == QAbstractSocket::UnconnectedState; },
                            delaiConnexionMs);
    if (mSocket.state() != QAbstractSocket::ConnectedState) {
        const QString cause = mSocket.error() == QAbstractSocket::ConnectionRefusedError
            ? QStringLiteral("connexion refusée (rien n'écoute à cette adresse ; l'émulateur de modem est-il lancé ?)")
            : mSocket.state() != QAbstractSocket::UnconnectedState ? QStringLiteral("pas de réponse en %1 s").arg(delaiConnexionMs / 1000)
                                                                    : mSocket.errorString();
        mSocket.abort();
        return refuser(raison, QStringLiteral("Connexion du port %1 à %2:%3 impossible : %4.").arg(NomPort(), mHote).arg(mPort).arg(cause));
    }
    mSocket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    return true;
}
