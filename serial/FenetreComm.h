#pragma once

#include "auxwindows/CaseACocher.h"
#include "serial/DialogueComm.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// The "Communication" window: draws DialogueComm's fields and hands the buttons back to it.
class FenetreComm : public QDialog, public VueDialogueComm
{
public:
    explicit FenetreComm(QWidget *parent = nullptr);

    void montrer(DialogueComm &dialogue) override;
    void cacher() override;

protected:
    void reject() override;

private:
    void relever();

    DialogueComm *mDialogue = nullptr;
    QComboBox *cboPort;
    QLineEdit *TxtSettings;
    CaseACocher *CochePosteAppellant;
    QLineEdit *txtNumTel;
    QLineEdit *txtDirEmission;
    QLineEdit *txtDirReception;
    CaseACocher *CocheSilencieux;
    CaseACocher *chkSvrHoraire;
    QComboBox *cboVitesse;
    QPlainTextEdit *txtScriptInit;
};
