#pragma once

#include <QMap>
#include <QString>

// Where a port name leads. "COMn:" is the serial device /dev/ttyS(n-1); "TCPn:" is a raw TCP
// connection to 127.0.0.1 port 7000 + n; a name that is a device path ("/dev/ttyUSB0") is
// used as it is. The station's configuration may point any name elsewhere: a value
// beginning with "/" is a device, "host:port" a TCP address.
struct DestinationPort
{
    enum Genre { Invalide, Serie, Tcp };
    Genre genre = Invalide;
    QString peripherique;
    QString hote;
    quint16 port = 0;
    QString erreur; // French, when genre is Invalide
};

class CorrespondancePorts
{
public:
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
