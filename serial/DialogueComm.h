#pragma once

#include "platform/EtatCase.h"
#include "serial/DialogueParametres.h"
#include "serial/ParametresStation.h"

#include <QString>
#include <QStringList>

class Plateforme;
class DialogueComm;

// The window that draws the settings dialog: it shows the fields, copies the user's edits
// back into them and calls the buttons' handlers.
class VueDialogueComm
{
public:
    virtual ~VueDialogueComm() = default;
    virtual void montrer(DialogueComm &dialogue) = 0; // modal, without waiting
    virtual void cacher() = 0;
};

// The communication settings dialog: port and line settings, calling role and number,
// folders, silent mode, time server, the modem's speed command and its script (one command
// per line here, "|"-separated in the station's parameters).
class DialogueComm : public DialogueParametres
{
public:

    DialogueComm(Plateforme &plateforme, VueDialogueComm &vue);

    bool afficher(FComm &comm, ParametresStation &poste) override;
    void Form_Load();
    void BtnOK_Click();
    void BtnAnnuler_Click();

    static QString scriptVersTexte(const QString &script);
    static QString texteVersScript(const QString &texte);

    // The controls.
    QStringList listePorts;
    QStringList listeVitesses;
    QString cboPort;
    QString TxtSettings = QString::fromLatin1(ParametresStation::reglagesParDefaut);
    int CochePosteAppellant = EtatCase::Decoche;
    QString txtNumTel;
    QString txtDirEmission;
    QString txtDirReception;
    int CocheSilencieux = EtatCase::Decoche;
    int chkSvrHoraire = EtatCase::Decoche;
    QString cboVitesse;
    QString txtScriptInit;
    bool visible() const { return mVisible; }

private:
    Plateforme &mPlateforme;
    VueDialogueComm &mVue;
    FComm *mComm = nullptr;
    bool mCharge = false;
    bool mVisible = false;
    bool mOK = false; // closed through OK
};
