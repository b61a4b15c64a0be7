#include "ServeurModems.h"

#include "Plateforme.h"

ServeurModems::ServeurModems(Plateforme &plateforme, OptionsServeur options)
    : mPlateforme(plateforme), mOptions(std::move(options)), mCentral(plateforme)
{
}

ServeurModems::~ServeurModems()
{
    for (auto &poste : mPostes)
        poste->modem.reset();
}

void ServeurModems::noter(const QString &texte)
{
    if (journal)
        journal(texte);
}

QString ServeurModems::demarrer()
{
    for (int k = 1; k <= mOptions.modems; ++k) {
        auto poste = std::make_unique<Poste>();
        poste->numero = k;
        const quint16 port = quint16(mOptions.premierPort + k - 1);
        if (!poste->serveur.listen(QHostAddress::LocalHost, port))
            return QStringLiteral("Écoute impossible sur 127.0.0.1:%1 : %2").arg(port).arg(poste->serveur.errorString());
        Poste *p = poste.get();
        QObject::connect(&poste->serveur, &QTcpServer::newConnection, &poste->serveur, [this, p] { accepter(*p); });
        if (!mOptions.direct) {
            ReglagesModem reglages = mOptions.modele;
            reglages.numero = QString::number(k);
            poste->modem = std::make_unique<ModemHayes>(mPlateforme, mCentral, reglages);
            poste->modem->versTerminal = [this, p](const QByteArray &octets) { versClient(*p, octets); };
            poste->modem->journal = [this](const QString &t) { noter(t); };
        }
        mPostes.push_back(std::move(poste));
    }
    if (mOptions.direct) {
        for (size_t i = 0; i + 1 < mPostes.size(); i += 2) {
            auto cable = std::make_unique<LigneSimulee>(
                mPlateforme, LigneSimulee::Reglages{.bauds = mOptions.modele.vitesse, .tauxCorruption = mOptions.modele.bruit,
                                                    .decoupage = Decoupage::Blocs});
            for (const auto &[p, extremite] : {std::pair{mPostes[i].get(), &cable->a()}, std::pair{mPostes[i + 1].get(), &cable->b()}}) {
                Poste *poste = p;
                poste->cable = extremite;
                extremite->brancher(poste, [this, poste](const QByteArray &octets) { versClient(*poste, octets); });
            }
            mCables.push_back(std::move(cable));
        }
    }
    for (const auto &poste : mPostes)
        noter(mOptions.direct ? QStringLiteral("câble : port %1 (poste %2)").arg(poste->serveur.serverPort()).arg(poste->numero)
                              : QStringLiteral("modem %1 : port %2, numéro de téléphone %1")
                                    .arg(poste->numero)
                                    .arg(poste->serveur.serverPort()));
    return {};
}

void ServeurModems::accepter(Poste &poste)
{
    QTcpSocket *nouveau = poste.serveur.nextPendingConnection();
    if (!nouveau)
        return;
    if (poste.client) {
        // Like a serial port, one computer at a time.
        noter(QStringLiteral("port %1 : déjà utilisé, connexion refusée").arg(poste.serveur.serverPort()));
        nouveau->write("\r\nPORT OCCUPE\r\n");
        nouveau->disconnectFromHost();
        nouveau->deleteLater();
        return;
    }
    poste.client = nouveau;
    nouveau->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    noter(QStringLiteral("port %1 : un poste s'est branché").arg(poste.serveur.serverPort()));
    if (poste.modem)
        poste.modem->setDtr(true);
    QObject::connect(nouveau, &QTcpSocket::readyRead, nouveau, [this, &poste, nouveau] {
        const QByteArray octets = nouveau->readAll();
        if (poste.modem)
            poste.modem->depuisTerminal(octets);
        else if (poste.cable)
            poste.cable->envoyer(octets);
    });
    QObject::connect(nouveau, &QTcpSocket::disconnected, nouveau, [this, &poste, nouveau] {
        noter(QStringLiteral("port %1 : le poste s'est débranché").arg(poste.serveur.serverPort()));
        if (poste.client == nouveau)
            poste.client = nullptr;
        if (poste.modem)
            poste.modem->setDtr(false);
        nouveau->deleteLater();
    });
}

void ServeurModems::versClient(Poste &poste, const QByteArray &octets)
{
    if (poste.client && poste.client->state() == QAbstractSocket::ConnectedState)
        poste.client->write(octets);
}

quint16 ServeurModems::premierPortLibre(int nombre, quint16 depuis)
{
    for (int premier = depuis; premier + nombre - 1 <= 65535; premier += nombre) {
        std::vector<std::unique_ptr<QTcpServer>> essais;
        bool libres = true;
        for (int k = 0; k < nombre && libres; ++k) {
            essais.push_back(std::make_unique<QTcpServer>());
            libres = essais.back()->listen(QHostAddress::LocalHost, quint16(premier + k));
        }
        if (libres)
            return quint16(premier);
    }
    return 0;
}
