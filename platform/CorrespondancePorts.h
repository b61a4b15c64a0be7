#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

// Where a port name leads. "COMn:" is the serial device /dev/ttyS(n-1); "TCPn:" is a raw TCP
// connection to 127.0.0.1 port 7000 + n; a name that is a device path ("/dev/ttyUSB0") is
// used as it is. The station's configuration may point any name elsewhere: a value
// beginning with "/" is a device, "host:port" a TCP address, "rfc2217://host:port" a serial
// device server.
struct DestinationPort
{
    enum Genre { Invalide, Serie, Tcp, Rfc2217 };
    Genre genre = Invalide;
    QString peripherique;
    QString hote;
    quint16 port = 0;
    QString erreur; // French, when genre is Invalide
};

class FichierIni;

class CorrespondancePorts
{
public:
    static inline const QString sectionIni = QStringLiteral("Ports");

    // Reads the redirections of the profile file's section "Ports" ("COM1:=/dev/ttyUSB0").
    // Returns a French line for each entry that cannot be used; the file's current section
    // and key are left as they were.
    QStringList charger(FichierIni &ini);

    // Points nomPort elsewhere; an empty destination restores the default. Returns "" or a
    // French reason why the destination cannot be used.
    QString definir(const QString &nomPort, const QString &destination);
    DestinationPort resoudre(const QString &nomPort) const;

    // "com1", " COM1: " and "Com1:" all become "COM1:".
    static QString normaliser(const QString &nomPort);

private:
    static DestinationPort lireDestination(const QString &texte);

    QMap<QString, QString> mRedirections;
};
