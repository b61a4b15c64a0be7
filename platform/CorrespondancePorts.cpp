#include "platform/CorrespondancePorts.h"

#include "platform/FichierIni.h"

#include <QRegularExpression>

namespace {
const QRegularExpression &motifNomCourt()
{
    static const QRegularExpression motif(QStringLiteral("^(COM|TCP)0*([1-9][0-9]{0,3}):?$"),
                                          QRegularExpression::CaseInsensitiveOption);
    return motif;
}
}

QString CorrespondancePorts::normaliser(const QString &nomPort)
{
    const QString nom = nomPort.trimmed();
    const auto m = motifNomCourt().match(nom);
    if (!m.hasMatch())
        return nom;
    return m.captured(1).toUpper() + m.captured(2) + QLatin1Char(':');
}

DestinationPort CorrespondancePorts::lireDestination(const QString &texte)
{
    DestinationPort d;
    const QString valeur = texte.trimmed();
    if (valeur.startsWith(QLatin1Char('/'))) {
        d.genre = DestinationPort::Serie;
        d.peripherique = valeur;
        return d;
    }
    static const QString schema = QStringLiteral("rfc2217://");
    const bool rfc2217 = valeur.startsWith(schema, Qt::CaseInsensitive);
    const QString adresse = rfc2217 ? valeur.mid(schema.size()) : valeur;
    const int deuxPoints = adresse.lastIndexOf(QLatin1Char(':'));
    bool ok = false;
    const uint port = deuxPoints > 0 ? adresse.mid(deuxPoints + 1).toUInt(&ok) : 0;
    if (!ok || port == 0 || port > 65535) {
        d.erreur = QStringLiteral("Destination de port incompréhensible : « %1 » (un périphérique "
                                  "comme /dev/ttyUSB0, une adresse hôte:port ou rfc2217://hôte:port est attendu).")
                       .arg(valeur);
        return d;
    }
    d.genre = rfc2217 ? DestinationPort::Rfc2217 : DestinationPort::Tcp;
    d.hote = adresse.left(deuxPoints);
    d.port = quint16(port);
    return d;
}

QString CorrespondancePorts::definir(const QString &nomPort, const QString &destination)
{
    const QString nom = normaliser(nomPort);
    if (destination.trimmed().isEmpty()) {
        mRedirections.remove(nom);
        return {};
    }
    const DestinationPort d = lireDestination(destination);
    if (d.genre == DestinationPort::Invalide)
        return d.erreur;
    mRedirections.insert(nom, destination.trimmed());
    return {};
}

DestinationPort CorrespondancePorts::resoudre(const QString &nomPort) const
{
    const QString nom = normaliser(nomPort);
    const auto redirection = mRedirections.constFind(nom);
    if (redirection != mRedirections.constEnd())
        return lireDestination(*redirection);

    DestinationPort d;
    const auto m = motifNomCourt().match(nom);
    if (m.hasMatch()) {
        const int numero = m.captured(2).toInt();
        if (m.captured(1) == QLatin1String("COM")) {
            d.genre = DestinationPort::Serie;
            d.peripherique = QStringLiteral("/dev/ttyS%1").arg(numero - 1);
        } else if (numero <= 65535 - 7000) {
            d.genre = DestinationPort::Tcp;
            d.hote = QStringLiteral("127.0.0.1");
            d.port = quint16(7000 + numero);
        }
        return d.genre == DestinationPort::Invalide ? lireDestination(QString()) : d;
    }
    if (nom.startsWith(QLatin1Char('/')))
        return lireDestination(nom);
    d.erreur = QStringLiteral("Nom de port inconnu : « %1 » (COMn:, TCPn: ou un chemin de "
                              "périphérique comme /dev/ttyUSB0 est attendu).")
                   .arg(nom);
    return d;
}

QStringList CorrespondancePorts::charger(FichierIni &ini)
{
    QStringList erreurs;
    const QString section = ini.Section(), cle = ini.Cle(), valeur = ini.Valeur();
    for (const QString &nom : ini.Cles(sectionIni)) {
        ini.setSection(sectionIni);
        ini.setCle(nom);
        ini.Lire();
        const QString erreur = definir(nom, ini.Valeur());
        if (!erreur.isEmpty())
            erreurs << QStringLiteral("Section [%1], %2 : %3").arg(sectionIni, nom, erreur);
    }
    ini.setSection(section);
    ini.setCle(cle);
    ini.setValeur(valeur);
    return erreurs;
}
