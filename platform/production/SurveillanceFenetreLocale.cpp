#include "platform/production/SurveillanceFenetreLocale.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>

#include <optional>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int longueurMaxLigne = 256; // a message is a few numbers; anything longer is not one

std::optional<struct stat> etat(const QString &chemin)
{
    struct stat s{};
    if (::lstat(QFile::encodeName(chemin).constData(), &s) != 0)
        return std::nullopt;
    return s;
}

QString nomUtilisateur(uid_t uid)
{
    const passwd *p = ::getpwuid(uid);
    return p ? QString::fromLocal8Bit(p->pw_name) : QString::number(uid);
}

// This user, root, or the owner of a folder nobody else may write into (the service's).
std::optional<QString> defiance(const QString &prise)
{
    const auto s = etat(prise);
    const auto dossier = etat(QFileInfo(prise).absolutePath());
    if (!s || !dossier)
        return QStringLiteral("« %1 » a disparu").arg(prise);
    if (!S_ISSOCK(s->st_mode))
        return QStringLiteral("« %1 » n'est pas une prise locale").arg(prise);
    const bool dossierSur = S_ISDIR(dossier->st_mode) && !(dossier->st_mode & (S_IWGRP | S_IWOTH));
    if (s->st_uid == ::geteuid() || s->st_uid == 0 || (dossierSur && s->st_uid == dossier->st_uid))
        return std::nullopt;
    return QStringLiteral("la prise « %1 » appartient à l'utilisateur %2 : elle n'est pas fiable, rien ne lui est envoyé")
        .arg(prise, nomUtilisateur(s->st_uid));
}

bool clientAdmis(QLocalSocket &client)
{
    ucred pair{};
    socklen_t taille = sizeof pair;
    return ::getsockopt(int(client.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &pair, &taille) == 0
        && (pair.uid == ::geteuid() || pair.uid == 0);
}
}

QString SurveillanceFenetreLocale::dossierPrive(QString *raison)
{
    const QString service = qEnvironmentVariable("RUNTIME_DIRECTORY").section(QLatin1Char(':'), 0, 0);
    if (!service.isEmpty())
        return service;
    const QString xdg = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const QString dossier = !xdg.isEmpty() && QFileInfo(xdg).isDir() ? xdg + QStringLiteral("/navette")
                                                                     : QDir::tempPath() + QStringLiteral("/navette-%1").arg(::geteuid());
    ::mkdir(QFile::encodeName(dossier).constData(), 0700);
    const auto s = etat(dossier);
    if (s && S_ISDIR(s->st_mode) && s->st_uid == ::geteuid() && !(s->st_mode & 077))
        return dossier;
    if (raison)
        *raison = s ? QStringLiteral("le dossier « %1 » n'est pas à cet utilisateur seul (propriétaire %2)")
                          .arg(dossier, nomUtilisateur(s->st_uid))
                    : QStringLiteral("le dossier « %1 » ne peut être créé").arg(dossier);
    return {};
}

SurveillanceFenetreLocale::SurveillanceFenetreLocale()
{
    QObject::connect(&mServeur, &QLocalServer::newConnection, &mServeur, [this] {
        while (QLocalSocket *client = mServeur.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            if (!clientAdmis(*client)) {
                client->abort();
                continue;
            }
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

bool SurveillanceFenetreLocale::setFenetre(const QString &caption, QString *raison)
{
    mServeur.close();
    QString pourquoi;
    const QString dossier = dossierPrive(&pourquoi);
    if (dossier.isEmpty())
        return refuser(raison, QStringLiteral("Commandes à distance indisponibles (« %1 ») : %2").arg(caption, pourquoi));
    const QString nom = dossier + QLatin1Char('/') + caption;
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
    mServeur.setSocketOptions(QLocalServer::UserAccessOption);
    if (!mServeur.listen(nom))
        return refuser(raison, QStringLiteral("Commandes à distance indisponibles (« %1 ») : %2").arg(caption, mServeur.errorString()));
    ::chmod(QFile::encodeName(nom).constData(), 0600); // Qt leaves it 0700

    return true;
}

bool SurveillanceFenetreLocale::envoyer(const QString &caption, qint32 msg, qint32 wParam, QString &reponse, QString *refus,
                                        int delaiMs)
{
    // The service first: a user's own instance of the same port cannot stand in for it.
    for (const QString &dossier : {dossierServices, dossierPrive()}) {
        const QString prise = dossier + QLatin1Char('/') + caption;
        if (dossier.isEmpty() || !etat(prise))
            continue;
        if (const auto pourquoi = defiance(prise)) {
            if (refus)
                *refus = *pourquoi;
            continue;
        }
        if (envoyerA(prise, msg, wParam, reponse, delaiMs))
            return true;
    }
    return false;
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
