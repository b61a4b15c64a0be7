#pragma once

#include "platform/production/PortComTcp.h"
#include "platform/production/Rfc2217.h"

#include <optional>

// A port on a serial device server (RFC 2217): the line settings, DTR and RTS go to the server's
// serial port, DTR drops when the port closes, and the server's word on the carrier is the
// port's (PorteusePerdue).
class PortComRfc2217 : public PortComTcp
{
public:
    using PortComTcp::PortComTcp;

    bool Ouvrir(QString *raison) override;
    void EcrireTexte(const QByteArray &texte) override;
    void viderEmission() override;
    void Fermer() override;

    // How long the opening waits for the server to answer the option before going on without.
    static constexpr quint32 delaiNegociationMs = 2000;

private:
    QByteArray depuisLaLigne(const QByteArray &brut) override;

    std::optional<Rfc2217> mTelnet;
};
