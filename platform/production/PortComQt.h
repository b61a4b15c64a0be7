#pragma once

#include "platform/PortCom.h"

#include <QIODevice>
#include <QObject>

// Shared part of the production ports (serial device, TCP socket): both are QIODevices.
// Received bytes are handed over from a queued call, never from inside readyRead: Qt does not
// raise readyRead again while a handler of it is still running, and our handlers wait.
class PortComQt : public PortCom
{
public:
    void EcrireTexte(const QByteArray &texte) override;
    void Fermer() override;

protected:
    explicit PortComQt(QString nomPort) : PortCom(std::move(nomPort)) {}
    // Connects the device's signals; called once the subclass made its device.
    void brancher(QIODevice *peripherique);
    void signalerErreur(const QString &texte, int numero);
    // What the station gets of the bytes the device gave; a protocol on the wire takes its own.
    virtual QByteArray depuisLaLigne(const QByteArray &brut) { return brut; }
    void ecrireBrut(const QByteArray &octets);
    // The carrier fell behind what the device gave so far: said once that is delivered.
    void porteuseTombee();

    QObject mContexte;

private:
    void recevoir();
    void planifierLivraison();
    void livrer();

    QIODevice *mPeripherique = nullptr;
    QByteArray mEnAttente;
    bool mLivraisonPrevue = false;
    bool mChuteEnAttente = false;
};
