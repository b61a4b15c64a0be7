#include "serial/FenetreComm.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

FenetreComm::FenetreComm(QWidget *parent)
    : QDialog(parent),
      cboPort(new QComboBox(this)),
      TxtSettings(new QLineEdit(this)),
      CochePosteAppellant(new CaseACocher(QStringLiteral("Poste appellant le n°"), this)),
      txtNumTel(new QLineEdit(this)),
      txtDirEmission(new QLineEdit(this)),
      txtDirReception(new QLineEdit(this)),
      CocheSilencieux(new CaseACocher(QStringLiteral("Silencieux"), this)),
      chkSvrHoraire(new CaseACocher(QStringLiteral("Serveur horaire"), this)),
      cboVitesse(new QComboBox(this)),
      txtScriptInit(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("FComm"));
    setWindowTitle(QStringLiteral("Communication"));
    setWindowModality(Qt::ApplicationModal);
    cboPort->setEditable(true);
    cboVitesse->setEditable(true);
    TxtSettings->setText(QString::fromLatin1(ParametresStation::reglagesParDefaut));
    txtScriptInit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtScriptInit->setLineWrapMode(QPlainTextEdit::NoWrap);
    txtScriptInit->setMinimumHeight(90);
    for (auto [objet, nom] : {std::pair<QObject *, const char *>{cboPort, "cboPort"}, {TxtSettings, "TxtSettings"},
                              {CochePosteAppellant, "CochePosteAppellant"}, {txtNumTel, "txtNumTel"},
                              {txtDirEmission, "txtDirEmission"}, {txtDirReception, "txtDirReception"},
                              {CocheSilencieux, "CocheSilencieux"}, {chkSvrHoraire, "chkSvrHoraire"},
                              {cboVitesse, "cboVitesse"}, {txtScriptInit, "txtScriptInit"}})
        objet->setObjectName(QLatin1String(nom));

    auto *grille = new QGridLayout(this);
    int ligne = 0;
    const auto etiquette = [this](const char *texte) { return new QLabel(QString::fromUtf8(texte), this); };
    grille->addWidget(etiquette("Port :"), ligne, 0);
    grille->addWidget(cboPort, ligne, 1);
    grille->addWidget(etiquette("Paramètres :"), ligne, 2);
    grille->addWidget(TxtSettings, ligne++, 3);
    grille->addWidget(CochePosteAppellant, ligne, 0, 1, 2);
    grille->addWidget(txtNumTel, ligne++, 2, 1, 2);
    grille->addWidget(etiquette("Emission :"), ligne, 0);
    grille->addWidget(txtDirEmission, ligne++, 1, 1, 3);
    grille->addWidget(etiquette("Réception :"), ligne, 0);
    grille->addWidget(txtDirReception, ligne++, 1, 1, 3);
    grille->addWidget(CocheSilencieux, ligne, 0, 1, 2);
    grille->addWidget(chkSvrHoraire, ligne++, 2, 1, 2);
    grille->addWidget(etiquette("Vitesse :"), ligne, 0);
    grille->addWidget(cboVitesse, ligne++, 1, 1, 3);
    grille->addWidget(etiquette("Script init. :"), ligne, 0, Qt::AlignTop);
    grille->addWidget(txtScriptInit, ligne++, 1, 1, 3);
    auto *boutons = new QHBoxLayout;
    auto *ok = new QPushButton(QStringLiteral("&Valider"), this);
    auto *annuler = new QPushButton(QStringLiteral("&Annuler"), this);
    ok->setObjectName(QStringLiteral("BtnOK"));
    annuler->setObjectName(QStringLiteral("BtnAnnuler"));
    ok->setDefault(true);
    boutons->addStretch();
    boutons->addWidget(ok);
    boutons->addWidget(annuler);
    grille->addLayout(boutons, ligne, 0, 1, 4);
    grille->setColumnStretch(3, 1);

    connect(ok, &QPushButton::clicked, this, [this] {
        relever();
        if (mDialogue)
            mDialogue->BtnOK_Click();
    });
    connect(annuler, &QPushButton::clicked, this, &FenetreComm::reject);
}

void FenetreComm::montrer(DialogueComm &dialogue)
{
    mDialogue = &dialogue;
    cboPort->clear();
    cboPort->addItems(dialogue.listePorts);
    cboPort->setCurrentText(dialogue.cboPort);
    cboVitesse->clear();
    cboVitesse->addItems(dialogue.listeVitesses);
    cboVitesse->setCurrentText(dialogue.cboVitesse);
    TxtSettings->setText(dialogue.TxtSettings);
    CochePosteAppellant->setValeur(dialogue.CochePosteAppellant);
    txtNumTel->setText(dialogue.txtNumTel);
    txtDirEmission->setText(dialogue.txtDirEmission);
    txtDirReception->setText(dialogue.txtDirReception);
    CocheSilencieux->setValeur(dialogue.CocheSilencieux);
    chkSvrHoraire->setValeur(dialogue.chkSvrHoraire);
    QString script = dialogue.txtScriptInit;
    txtScriptInit->setPlainText(script.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    show();
    activateWindow();
}

void FenetreComm::relever()
{
    if (!mDialogue)
        return;
    DialogueComm &d = *mDialogue;
    d.cboPort = cboPort->currentText();
    d.TxtSettings = TxtSettings->text();
    d.CochePosteAppellant = CochePosteAppellant->valeur();
    d.txtNumTel = txtNumTel->text();
    d.txtDirEmission = txtDirEmission->text();
    d.txtDirReception = txtDirReception->text();
    d.CocheSilencieux = CocheSilencieux->valeur();
    d.chkSvrHoraire = chkSvrHoraire->valeur();
    d.cboVitesse = cboVitesse->currentText();
    d.txtScriptInit = txtScriptInit->toPlainText().replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
}

void FenetreComm::cacher()
{
    hide();
    mDialogue = nullptr;
}

void FenetreComm::reject()
{
    // Cancel (or Escape, or the close button) still keeps the edits.
    relever();
    if (mDialogue)
        mDialogue->BtnAnnuler_Click();
}
