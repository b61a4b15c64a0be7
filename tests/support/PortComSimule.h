#pragma once

#include "platform/PortCom.h"
#include "tools/modem/LigneSimulee.h"

// A port plugged into one end of a simulated line (or into nothing: it then fails to open).
class PortComSimule : public PortCom
{
public:
    PortComSimule(QString nomPort, LigneSimulee::Extremite *extremite);
    ~PortComSimule() override;

    bool Ouvrir(QString *raison) override;
    void EcrireTexte(const QByteArray &texte) override;
    void viderEmission() override;
    void Fermer() override;
    // As a serial device server would tell the carrier: a rise, or a fall.
    void signalerPorteuse(bool haute);

private:
    LigneSimulee::Extremite *mExtremite;
    bool mOuvert = false;
};
