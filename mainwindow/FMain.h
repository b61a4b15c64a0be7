#pragma once

#include "platform/EtatCase.h"
#include "platform/EtatFenetre.h"
#include "platform/JetonVie.h"

#include "auxwindows/FFermeture.h"
#include "link/ProprietaireLiaison.h"
#include "link/VerdictLiaison.h"
#include "mainwindow/ScrutateurEnvoi.h"
#include "platform/Environnement.h"
#include "platform/Plateforme.h"

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <deque>
#include <limits>
#include <memory>

class CInterlocuteur;
class CorrespondancePorts;
class Journal;
class DialogueParametres;
class FichierIni;
class FMain;
class SurveillanceDossier;

// The window that draws FMain: it shows what FMain holds and hands the user's clicks back to
// it. Window-system matters FMain cannot hold itself go through here.
class VueMain
{
public:
    virtual ~VueMain() = default;
    // FMain's state changed: draw it again.
    virtual void rafraichir(FMain &fenetre) = 0;
    // A line went to the top of a list ("Emissions", "Réceptions" or "Informations").
    virtual void ligneAjoutee(const QString &liste, const QString &ligne) {}
    // 0 normal, 1 minimised, 2 maximised.
    virtual int etatFenetre() const = 0;
    virtual void setEtatFenetre(int etat) = 0;
    virtual void prendreFocus() = 0;
    virtual QPoint position() const = 0;
    virtual void deplacer(const QPoint &position) = 0;
    virtual QSize tailleEcran() const = 0;
    virtual void curseurAttente(bool attente) = 0;
    // Opens the file in the desktop's text editor; false when none opens.
    virtual bool ouvrirEditeur(const QString &chemin) = 0;
    // Ends the program at once: nothing of it runs afterwards.
    virtual void quitter(int code) = 0;
};

// What the main window is given when created.
struct ContexteMain
{
    Environnement env;
    FichierIni &ini;
    QString dossierProgramme;
    QString nomExecutable;               // without extension
    QString ligneCommande;               // the station name given at start-up, or ""
    DialogueParametres *dialogue = nullptr;
    CorrespondancePorts *correspondance = nullptr;
    FFermeture::Fabrique surveillance;  // the instance window's endpoint; none when empty
    // What tells the scanner that the outgoing folder changed; none when empty.
    std::function<std::unique_ptr<SurveillanceDossier>()> surveillanceDossier;
    bool journal = false;               // a journal beside the configuration file
};

// The main window's logic: start-up and shutdown, the outgoing-folder scanner and the user's
// link controls, and the display of everything the link object reports. It owns the link
// object and lends it its supervision timer.
//
// Setting CocheConnecter or CocheSynchro from code runs its click handler before the setter
// returns; setting the value it already has runs nothing. Many handlers wait (a connection,
// a send, a box) while events run: other handlers, timer ticks and the link's notifications
// then run inside them, so each one reads the controls' state anew after a wait.
class FMain : public ProprietaireLiaison, public CibleInstance, private ProprietaireScrutateur
{
public:
    // The other station's messages waiting for their box; more are counted and dropped.
    static constexpr qsizetype messagesEnAttenteMax = 5;
    static inline const QString titreApplication = QStringLiteral("Navette");

    FMain(ContexteMain contexte, VueMain &vue);
    ~FMain() override;
    FMain(const FMain &) = delete;
    FMain &operator=(const FMain &) = delete;

    // Start-up and shutdown.
    void Form_Load();
    void Form_Activate();
    // Close request, from the window's own close box or from the program. Returns Cancel.
    enum : int { FermetureParLaCase = 0, FermetureParLeProgramme = 1 };
    bool Form_QueryUnload(int UnloadMode);
    void BtnTerminer_Click();

    // The connect box: 0 not connected, 1 connected, 2 in progress.
    int CocheConnecter() const { return mCocheConnecter; }
    void setCocheConnecter(int valeur) override;
    bool CocheConnecterActif() const { return mCocheConnecterActif; }
    int CocheSynchro() const { return mCocheSynchro; }
    void setCocheSynchro(int valeur) override;
    void posteDistantReconnu() override;
    void receptionTerminee() override;
    bool CocheSynchroActif() const { return mCocheSynchroActif; }

    void BtnTestDialog_Click();
    void BtnConfigurer_Click();
    void BtnEffacerEmissions_Click();
    void BtnEffacerReceptions_Click();
    void BtnEffacerInfo_Click();
    void BtnEnvoi_Click();
    void ListeEmissions_Click(int index);
    void ListeRéceptions_Click(int index);
    void ListeInfo_Click(int index);
    void Clock_Timer();

    // What the window shows.
    QString caption() const { return mCaption; }
    QString captionCocheConnecter() const;
    bool italiqueCocheConnecter() const { return mCocheConnecter == EtatCase::Grise; }
    bool BtnTestDialogActif() const { return mBtnTestDialogActif; }
    int icone() const { return mIcone; }
    QString lblTimeOut() const { return mLblTimeOut; }
    const QStringList &ListeEmissions() const { return mListeEmissions; }
    const QStringList &ListeRéceptions() const { return mListeRéceptions; }
    const QStringList &ListeInfo() const { return mListeInfo; }
    QString tooltipReceptions() const { return mTooltipReceptions; }
    QString tooltipInfo() const { return mTooltipInfo; }
    QString txtCmde;
    bool demarrage() const { return mbDemarrage; }
    CInterlocuteur *Poste() const { return mPoste.get(); }
    Minuterie &Clock() { return mScrutateur.minuterie(); }

    // The link object's notifications.
    void Poste_CommandeReçue(const QString &Commande, QString &Réponse);
    void Poste_LiaisonVerifiee(VerdictLiaison verdict);
    void Poste_EtatTimeOut(const QString &TypeTO, const QString &Compteur, int Durée);
    void Poste_FichierReçu(const QString &Fichier);
    void Poste_Information(const QString &Info);
    void Poste_ModemEtatConnexion(bool Connecté);
    void Poste_ProgressEmission(qint32 Envoyés, qint32 Total);
    void Poste_ProgressRecept(qint32 Recu, qint32 Attendu);

    // Percentage of a progress line: rounded to the nearest, ties to even, 0 to 255.
    static int pourcentage(qint32 fait, qint32 total);

    // What the link object reaches in its owner.
    Minuterie &TimeOutAppel() override { return *mTimeOutAppel; }
    void curseurAttente(bool attente) override;
    bool fenetreMinimisee() const override;
    QPoint positionFenetre() const override;
    void deplacerFenetre(const QPoint &position) override;
    QSize tailleEcran() const override;
    int valeurCocheConnecter() const override { return mCocheConnecter; }
    void chargerFenetreInstance() override;
    void terminerFenetreInstance() override;

    // What the instance window reaches.
    QString numPort() const override;
    bool DefinirCePosteEnAppelant() override;
    void terminerSansQuestion() override { BtnTerminer_Click(); }
    QString ligneEtat(bool json = false) const override;
    void informer(const QString &texte) override;
    Journal *journal() const { return mJournal.get(); }
    FFermeture &fenetreInstance() { return *mFermeture; }

private:
    // Start-up.
    QString nomDeStation();
    static bool partageAvecLeGroupe(const QString &dossier);
    bool creerDossier(QString &chemin, const QString &parDefaut);
    void brancherPoste();

    // What the scanner reaches.
    void CocheSynchro_Click();
    CInterlocuteur *poste() override { return mPoste.get(); }
    bool envoisPermis() const override { return mCocheSynchro == EtatCase::Coche && !mbTermine; }
    bool journalActif() const override { return mJournal != nullptr; }
    void signaler(const QString &texte) override { Poste_Information(texte); }
    void envoiTermine(const BilanEnvoi &bilan) override;
    void liaisonMuette() override;

    // Controls and display.
    void CocheConnecter_Click();
    void afficherEtatConnexion();
    void ajouterLigne(QStringList &liste, const QString &nomListe, const QString &ligne);
    void retirerProgression(QStringList &liste, const QString &motif);
    void progression(QStringList &liste, const QString &nomListe, const QString &debut, const QString &partie, qint32 fait, qint32 total);
    void couperListe(QStringList &liste, qint32 &compteur);
    void setCaption(const QString &texte);
    void noter(const QString &genre, const QString &texte);
    void afficherInformation(const QString &Info, const QString &genre);
    QString dateHeure() const { return dateHeure(mContexte.env.plateforme.maintenant()); }
    static QString dateHeure(const QDateTime &quand);
    void rafraichir();

    ContexteMain mContexte;
    VueMain &mVue;
    JetonVie mVie;
    std::unique_ptr<Minuterie> mTimeOutAppel;
    std::unique_ptr<CInterlocuteur> mPoste;
    std::unique_ptr<FFermeture> mFermeture;
    std::unique_ptr<Journal> mJournal;
    bool mbEcritureJournal = false;
    struct Dernier
    {
        QString nom;
        QDateTime quand;
    };
    Dernier mDernierEnvoi, mDerniereReception; // for the status line

    bool mbDemarrage = false;
    bool mbTermine = false;
    int mCocheConnecter = EtatCase::Decoche;
    bool mCocheConnecterActif = true;
    int mCocheSynchro = EtatCase::Decoche;
    bool mCocheSynchroActif = false;
    bool mBtnTestDialogActif = false;
    int mIcone = 0;
    QString mCaption;
    QString mLblTimeOut = QStringLiteral("TO");
    QStringList mListeEmissions, mListeRéceptions, mListeInfo;
    QString mTooltipReceptions, mTooltipInfo;
    qint32 slNbReceptions = 0;
    qint32 slNbInfos = 0;

    // Messages of the other station not read yet; beyond messagesEnAttenteMax, only counted.
    std::deque<QString> mMessagesEnAttente;
    int mMessagesPerdus = 0;
    bool mMessageAffiche = false;
    void recevoirMessage(const QString &texte);
    void afficherMessages();
    ScrutateurEnvoi mScrutateur;
};
