#include "platform/production/SurveillanceFenetreLocale.h"

#include <QLocalSocket>
#include <QPointer>

namespace {
constexpr int longueurMaxLigne = 256; // a message is a few numbers; anything longer is not one
}

SurveillanceFenetreLocale::SurveillanceFenetreLocale()
{
    QObject::connect(&mServeur, &QLocalServer::newConnection, &mServeur, [this] {
        while (QLocalSocket *client = mServeur.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                if (!client->canReadLine()) {
                    if (client->bytesAvailable() > longueurMaxLigne)
                        client->abort();
                    return;
                }
                const QList<QByteArray> champs = client->readLine(longueurMaxLigne).trimmed().split(' ');
                bool ok = champs.size() == 3;
                qint32 nombres[3] = {};
                for (int i = 0; ok && i < 3; ++i)
                    nombres[i] = champs[i].toInt(&ok);
                const QPointer<QLocalSocket> garde(client);
                // Answered first: the actions run later, from the instance window's timer.
                const QString reponse = ok ? recevoir(nombres[0], nombres[1], nombres[2]) : QStringLiteral("?");
                if (garde) {
                    garde->write(reponse.toUtf8() + '\n');
                    garde->flush();
                    garde->disconnectFromServer();
                }
            });
        }
    });
}

QString SurveillanceFenetreLocale::adresse(const QString &caption)
{
    const QString dossier = qEnvironmentVariable("RUNTIME_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    return dossier.isEmpty() ? caption : dossier + QLatin1Char('/') + caption;
}

bool SurveillanceFenetreLocale::setFenetre(const QString &caption, QString *raison)
{
    mServeur.close();
    const QString nom = adresse(caption);
    // A live instance on that name keeps it; a file left by a dead one is reclaimed.
    QLocalSocket essai;
    essai.connectToServer(nom);
    if (essai.waitForConnected(200)) {
        essai.abort();
        return refuser(raison, QStringLiteral("Une autre instance de Navette sert déjà « %1 » : ce poste ne recevra pas de "
                                              "commandes à distance.")
                                   .arg(caption));
    }
    QLocalServer::removeServer(nom);
    if (!mServeur.listen(nom))
        return refuser(raison, QStringLiteral("Commandes à distance indisponibles (« %1 ») : %2").arg(caption, mServeur.errorString()));
    return true;
}

bool SurveillanceFenetreLocale::envoyer(const QString &caption, qint32 msg, qint32 wParam, QString &reponse, int delaiMs)
{
    return envoyerA(adresse(caption), msg, wParam, reponse, delaiMs)
        || envoyerA(dossierServices + QLatin1Char('/') + caption, msg, wParam, reponse, delaiMs);
}

bool SurveillanceFenetreLocale::envoyerA(const QString &adresse, qint32 msg, qint32 wParam, QString &reponse, int delaiMs)
{
    QLocalSocket client;
    client.connectToServer(adresse);
    if (!client.waitForConnected(delaiMs))
        return false;
    client.write(QStringLiteral("%1 %2 0\n").arg(msg).arg(wParam).toUtf8());
    if (!client.waitForBytesWritten(delaiMs))
        return false;
    while (!client.canReadLine()) {
        if (!client.waitForReadyRead(delaiMs))
            return false;
    }
    reponse = QString::fromUtf8(client.readLine(4096)).trimmed();
    return true;
}
