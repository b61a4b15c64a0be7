#pragma once

#include "platform/Notification.h"
#include "platform/Raison.h"

#include <QByteArray>
#include <QString>

// One port of the serial-port component: configured, opened, written, closed. Received bytes
// and errors come as notifications on the user-interface thread, never from inside
// EcrireTexte or Ouvrir, so a handler may wait (and receive more) without missing data.
class PortCom
{
public:
    virtual ~PortCom() = default;

    void setBauds(qint32 bauds) { mBauds = bauds; }
    void setParite(const QString &parite) { mParite = parite; }
    void setBitsDonnees(int bits) { mBitsDonnees = bits; }
    void setBitsStop(int bits) { mBitsStop = bits; }

    // Opens with the settings above; on failure says why in French in *raison (when given).
    virtual bool Ouvrir(QString *raison) = 0;
    virtual void EcrireTexte(const QByteArray &texte) = 0;
    // Drops what was written and has not left yet (a modem that lost its carrier would take
    // it as commands); a port that cannot take bytes back does nothing.
    virtual void viderEmission() {}
    virtual void Fermer() = 0;

    QString NomPort() const { return mNomPort; }
    bool Actif() const { return mActif; }
    void setActif(bool actif) { mActif = actif; }

    Notification<QByteArray> Lecture;
    Notification<QString, int> Erreur;
    // A port that tells the carrier itself (a serial device server's modem-state
    // notification) says each fall, after the bytes that came before it. Once it has told a
    // rise, its word decides, not the text "NO CARRIER" on the line.
    Notification<> PorteusePerdue;
    bool porteuseSignalee() const { return mPorteuseSignalee; }

protected:
    explicit PortCom(QString nomPort) : mNomPort(std::move(nomPort)) {}

    // Checks the settings common to every kind of port.
    bool verifierReglages(QString *raison);
    // The parity letter without blanks, upper case ("N", "E", "O", "M", "S"), or "" if unknown.
    QString lettreParite() const;

    qint32 mBauds = 38400;
    QString mParite = QStringLiteral("n");
    int mBitsDonnees = 8;
    int mBitsStop = 1;
    QString mNomPort;
    bool mActif = false;
    bool mPorteuseSignalee = false;
};
