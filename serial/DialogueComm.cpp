#include "serial/DialogueComm.h"

#include "platform/Plateforme.h"
#include "serial/FComm.h"

DialogueComm::DialogueComm(Plateforme &plateforme, VueDialogueComm &vue) : mPlateforme(plateforme), mVue(vue) {}

void DialogueComm::Form_Load()
{
    listePorts.clear();
    for (const char *genre : {"COM", "TCP"})
        for (int i = 1; i <= 16; ++i)
            listePorts << QStringLiteral("%1%2:").arg(QLatin1String(genre)).arg(i);
    listeVitesses = {QString(), QStringLiteral("N0S37=11"), QStringLiteral("&N8")};
    txtScriptInit = QStringLiteral("AT&F0\r\nATZ0");
    mCharge = true;
}

QString DialogueComm::scriptVersTexte(const QString &script)
{
    QString texte;
    for (const QChar c : script) {
        if (c == QLatin1Char('|')) {
            if (!texte.isEmpty())
                texte += QStringLiteral("\r\n");
        } else {
            texte += c;
        }
    }
    return texte.isEmpty() ? QStringLiteral("ATZ0") : texte;
}

QString DialogueComm::texteVersScript(const QString &texte)
{
    QString script;
    for (const QChar c : texte) {
        if (c == QLatin1Char('\r')) {
            if (!script.isEmpty())
                script += QLatin1Char('|');
        } else if (c != QLatin1Char('\n') && c != QLatin1Char('\t')) {
            script += c;
        }
    }
    return script.isEmpty() ? QStringLiteral("ATZ0") : script;
}

bool DialogueComm::afficher(FComm &comm, ParametresStation &poste)
{
    if (!mCharge)
        Form_Load();
    mComm = &comm;
    comm.Déconnecter(); // the port stays closed while the dialog is open

    cboPort = comm.msNumPort;
    TxtSettings = comm.msSettings;
    CochePosteAppellant = poste.PosteAppellant ? EtatCase::Coche : EtatCase::Decoche;
    txtNumTel = poste.NumTelAppel;
    txtDirEmission = poste.CheminFichiersAEnvoyer;
    txtDirReception = poste.CheminFichiersRecus;
    CocheSilencieux = poste.Silencieux ? EtatCase::Coche : EtatCase::Decoche;
    chkSvrHoraire = poste.SvrHoraire ? EtatCase::Coche : EtatCase::Decoche;
    cboVitesse = poste.VitesseConx;
    txtScriptInit = scriptVersTexte(poste.ScriptInit);

    mVisible = true;
    mOK = false;
    mVue.montrer(*this);
    mPlateforme.attendreQue([this] { return !mVisible; }, 0xFFFFFFFFu);
    mVue.cacher();

    // Written back whichever button closed the dialog.
    poste.PosteAppellant = CochePosteAppellant != EtatCase::Decoche;
    poste.NumTelAppel = txtNumTel;
    poste.CheminFichiersAEnvoyer = txtDirEmission;
    poste.CheminFichiersRecus = txtDirReception;
    poste.Silencieux = CocheSilencieux == EtatCase::Coche;
    poste.SvrHoraire = chkSvrHoraire == EtatCase::Coche;
    poste.VitesseConx = cboVitesse;
    poste.ScriptInit = texteVersScript(txtScriptInit);
    mComm = nullptr;
    return mOK;
}

void DialogueComm::BtnOK_Click()
{
    if (!mComm)
        return;
    if (mComm->Port)
        mComm->Port->Fermer();
    mComm->LibererPort();
    mComm->msNumPort = cboPort;
    mComm->msSettings = TxtSettings;
    // A port that does not open keeps the dialog on screen: the driver already said why.
    if (mComm->Connecter()) {
        mOK = true;
        mVisible = false;
    }
}

void DialogueComm::BtnAnnuler_Click()
{
    mVisible = false;
}
