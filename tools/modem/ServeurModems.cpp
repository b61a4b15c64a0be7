#include "tools/modem/ServeurModems.h"

#include "platform/Plateforme.h"

#include <utility>

ServeurModems::ServeurModems(Plateforme &plateforme, OptionsServeur options)
    : mPlateforme(plateforme), mOptions(std::move(options)), mCentral(plateforme)
{
    mRelance.setSingleShot(true);
    mRelance.setInterval(2);
    QObject::connect(&mRelance, &QTimer::timeout, &mRelance, [this] {
        for (const auto &poste : mPostes)
            if (poste->client && poste->client->bytesAvailable() > 0)
                lire(*poste);
    });
}

ServeurModems::~ServeurModems()
{
    // A socket torn down with its server still says "disconnected": nothing of ours may
    // hear it then.
    for (auto &poste : mPostes) {
        if (poste->client) {
            QObject::disconnect(poste->client, nullptr, nullptr, nullptr);
            delete std::exchange(poste->client, nullptr);
        }
    }
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
    if (mOptions.compter) {
        mCompteur.setInterval(250);
        QObject::connect(&mCompteur, &QTimer::timeout, &mCompteur, [this] {
            QString compte = QStringLiteral("octets remis :");
            for (const auto &poste : mPostes)
                compte += QStringLiteral(" %1=%2").arg(poste->numero).arg(poste->remis);
            if (compte != std::exchange(mDernierCompte, compte) && journal)
                journal(compte);
        });
        mCompteur.start();
    }
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
                mPlateforme, LigneSimulee::Reglages{.bauds = mOptions.modele.vitesse, .latenceMs = mOptions.modele.latenceMs,
                                                    .tauxCorruption = mOptions.modele.bruit,
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
    // Qt's own buffer is bounded too: what does not fit stays in the system's, and TCP slows
    // the computer down.
    nouveau->setReadBufferSize(attenteMax);
    QObject::connect(nouveau, &QTcpSocket::readyRead, nouveau, [this, &poste] { lire(poste); });
    QObject::connect(nouveau, &QTcpSocket::bytesWritten, nouveau, [this] {
        if (!mRelance.isActive())
            mRelance.start();
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

const ServeurModems::Poste *ServeurModems::posteDe(const ModemHayes *modem) const
{
    for (const auto &p : mPostes)
        if (p->modem.get() == modem)
            return p.get();
    return nullptr;
}

qint64 ServeurModems::enAttente(const Poste &poste) const
{
    qint64 n = poste.client ? poste.client->bytesToWrite() : 0; // its echo and answers
    if (poste.modem) {
        n += poste.modem->octetsEnVol();
        if (const Poste *autre = posteDe(poste.modem->distant()); autre && autre->client)
            n += autre->client->bytesToWrite();
    } else if (poste.cable) {
        n += poste.cable->enVol();
    }
    return n;
}

qint64 ServeurModems::octetsEnAttente() const
{
    qint64 n = 0;
    for (const auto &p : mPostes)
        n += enAttente(*p) + (p->client ? p->client->bytesAvailable() : 0);
    return n;
}

void ServeurModems::lire(Poste &poste)
{
    if (!poste.client)
        return;
    const qint64 place = std::min(attenteMax - enAttente(poste), poste.client->bytesAvailable());
    if (place > 0) {
        const QByteArray octets = poste.client->read(place);
        if (poste.modem)
            poste.modem->depuisTerminal(octets);
        else if (poste.cable)
            poste.cable->envoyer(octets);
    }
    if (poste.client && poste.client->bytesAvailable() > 0 && !mRelance.isActive())
        mRelance.start();
}

void ServeurModems::versClient(Poste &poste, const QByteArray &octets)
{
    if (poste.client && poste.client->state() == QAbstractSocket::ConnectedState) {
        poste.client->write(octets);
        poste.remis += octets.size();
    }
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
