#pragma once

#include "DialogueComm.h"

#include <QCheckBox>
#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;

// A check box that a click moves between clear and ticked only; grey is set from code.
class CaseACocher : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;
    // 0 clear, 1 ticked, 2 grey, as the dialog keeps them.
    void setValeur(int valeur);
    int valeur() const;

protected:
    void nextCheckState() override;
};

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
