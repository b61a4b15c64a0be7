// The user's link controls and the display of what the link object reports.
#include "mainwindow/FMain.h"
#include "platform/EtatCase.h"

#include "link/CInterlocuteur.h"
#include "link/shared/MGlobal.h"
#include "platform/BoitesMessage.h"
#include "platform/Journal.h"
#include "platform/Minuterie.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <cmath>

namespace {
const QString listeEmissions = QStringLiteral("Emissions");
const QString listeReceptions = QStringLiteral("Réceptions");
const QString listeInfo = QStringLiteral("Informations");
}

QString FMain::dateHeure(const QDateTime &quand)
{
    return quand.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

void FMain::rafraichir()
{
    mVue.rafraichir(*this);
}

void FMain::setCaption(const QString &texte)
{
    mCaption = texte;
    rafraichir();
}

QString FMain::captionCocheConnecter() const
{
    switch (mCocheConnecter) {
    case 1: return QStringLiteral("Connecté");
    case 2: return QStringLiteral("En cours ...");
    default: return QStringLiteral("Connecter");
    }
}

void FMain::setCocheConnecter(int valeur)
{
    if (valeur == mCocheConnecter || mbTermine)
        return;
    mCocheConnecter = valeur;
    CocheConnecter_Click();
}

void FMain::CocheConnecter_Click()
{
    const auto vivant = mVie.temoin();
    if (mCocheConnecter == EtatCase::Coche && mPoste && !mPoste->ModemEtatConnexion()) {
        setCocheConnecter(EtatCase::Grise);
        if (!vivant || !mPoste)
            return;
        const bool enCours = mPoste->Connecter();
        // Refused because a connection is already under way (a lost carrier during the
        // first one, then the reconnection box): that one decides, the box stays grey.
        if (vivant && !enCours && !(mPoste && mPoste->connexionEnCours()))
            setCocheConnecter(EtatCase::Decoche);
        return;
    }
    afficherEtatConnexion();
}

void FMain::afficherEtatConnexion()
{
    const auto vivant = mVie.temoin();
    const QString index = mPoste ? mPoste->Index : QString();
    switch (mCocheConnecter) {
    case 1:
        noter(QStringLiteral("CONNEXION"), QStringLiteral("Dialogue établi"));
        setCaption(index + QStringLiteral(" : Connecté"));
        mCocheSynchroActif = true;
        setCocheSynchro(EtatCase::Coche);
        if (mbDemarrage) {
            mVue.setEtatFenetre(EtatFenetre::Minimisee);
            mbDemarrage = false;
        }
        mBtnTestDialogActif = true;
        break;
    case 0: {
        noter(QStringLiteral("DECONNEXION"), mCocheConnecterActif ? QStringLiteral("Déconnexion demandée")
                                                                  : QStringLiteral("Déconnexion par le programme"));
        mCocheSynchroActif = false;
        setCocheSynchro(EtatCase::Decoche);
        setCaption(index + QStringLiteral(" : non connecté"));
        const bool actif = mCocheConnecterActif;
        mCocheConnecterActif = false;
        mBtnTestDialogActif = false;
        rafraichir();
        if (mPoste)
            mPoste->Déconnecter();
        if (!vivant)
            return;
        mCocheConnecterActif = actif;
        break;
    }
    default:
        mCocheSynchroActif = false;
        setCocheSynchro(EtatCase::Decoche);
        setCaption(index + QStringLiteral(" : En cours ..."));
        mBtnTestDialogActif = false;
        if (mbDemarrage) {
            mVue.setEtatFenetre(EtatFenetre::Minimisee);
            mbDemarrage = false;
        }
        break;
    }
    rafraichir();
}

void FMain::BtnTestDialog_Click()
{
    if (!mPoste || mbTermine)
        return;
    const auto vivant = mVie.temoin();
    const bool dialogue = mPoste->TesterConnexion(true);
    if (!vivant || mbTermine)
        return;
    if (dialogue) {
        setCocheConnecter(EtatCase::Coche);
        return;
    }
    if (mPoste->Parametres.PosteAppellant)
        setCocheConnecter(EtatCase::Decoche);
    if (vivant)
        MGlobal::AfficherMessage(mContexte.env.boites, QStringLiteral("Impossible d'établir le dialogue."),
                                 Boutons::Critique | Boutons::OK, QStringLiteral("Test du dialogue"));
}

void FMain::BtnConfigurer_Click()
{
    if (!mPoste || mbTermine)
        return;
    const auto vivant = mVie.temoin();
    mCocheConnecterActif = false;
    setCocheConnecter(EtatCase::Decoche);
    if (!vivant)
        return;
    rafraichir();
    mPoste->Configurer();
    if (!vivant)
        return;
    mCocheConnecterActif = !mbTermine;
    rafraichir();
}

void FMain::BtnEffacerEmissions_Click()
{
    mListeEmissions.clear();
    rafraichir();
}

void FMain::BtnEffacerReceptions_Click()
{
    mListeRéceptions.clear();
    rafraichir();
}

void FMain::BtnEffacerInfo_Click()
{
    mListeInfo.clear();
    rafraichir();
}

void FMain::BtnEnvoi_Click()
{
    if (txtCmde.trimmed().isEmpty() || !mPoste || mbTermine)
        return;
    const auto vivant = mVie.temoin();
    const QByteArray message = Windows1252::depuisTexte(QStringLiteral("MESSAGE=") + txtCmde);
    if (message.size() > FComm::longueurTrameMax) {
        MGlobal::AfficherMessage(mContexte.env.boites,
                                 QStringLiteral("Le message est trop long : %1 caractères au plus.").arg(FComm::longueurTrameMax - 8),
                                 Boutons::OK, QString());
        return;
    }
    QByteArray reponse;
    const bool parti = mPoste->EnvoyerCommande(message, "", 3000, &reponse);
    if (vivant && !parti)
        MGlobal::AfficherMessage(mContexte.env.boites, QStringLiteral("Le message n'est pas parti."), Boutons::OK, QString());
}

void FMain::ListeEmissions_Click(int index)
{
    if (index < 0 || index >= mListeEmissions.size())
        return;
    const QString ligne = mListeEmissions[index];
    const qsizetype erreur = ligne.indexOf(QStringLiteral("ERREUR"), 0, Qt::CaseInsensitive);
    if (erreur < 0) {
        MGlobal::AfficherMessage(mContexte.env.boites, ligne, Boutons::OK, titreApplication);
        return;
    }
    const int reponse = MGlobal::AfficherMessage(
        mContexte.env.boites,
        ligne + QStringLiteral("\r\nOUI : Suppression du fichier.\r\nNON : édition du fichier."),
        Boutons::OuiNonAnnuler | Boutons::DefautBouton2, titreApplication);
    const QString chemin = ligne.mid(erreur + 9);
    if (!QFileInfo(chemin).isFile())
        return;
    if (reponse == Reponse::Oui)
        QFile::remove(chemin);
    else if (reponse == Reponse::Non && !mVue.ouvrirEditeur(chemin))
        Poste_Information(QStringLiteral("Aucun éditeur de texte ne s'ouvre pour ") + chemin);
}

void FMain::ListeRéceptions_Click(int index)
{
    mTooltipReceptions = mListeRéceptions.value(index);
    rafraichir();
}

void FMain::ListeInfo_Click(int index)
{
    mTooltipInfo = mListeInfo.value(index);
    rafraichir();
}

void FMain::ajouterLigne(QStringList &liste, const QString &nomListe, const QString &ligne)
{
    liste.prepend(ligne);
    mVue.ligneAjoutee(nomListe, ligne);
    rafraichir();
}

void FMain::retirerProgression(QStringList &liste, const QString &motif)
{
    if (!liste.isEmpty() && liste.first().startsWith(motif))
        liste.removeFirst();
}

void FMain::couperListe(QStringList &liste, qint32 &compteur)
{
    // Cut back to the 99 newest lines once 256 have come, counted since start-up.
    if (++compteur <= 255)
        return;
    while (compteur >= 100 && !liste.isEmpty()) {
        liste.removeLast();
        --compteur;
    }
}

int FMain::pourcentage(qint32 fait, qint32 total)
{
    if (total <= 0)
        return 0;
    const double p = std::nearbyint(double(fait) / double(total) * 100.0); // ties to even
    return int(std::clamp(p, 0.0, 255.0));
}

void FMain::progression(QStringList &liste, const QString &nomListe, const QString &debut, const QString &partie, qint32 fait, qint32 total)
{
    const QString ligne = debut + QStringLiteral(": ") + partie + QString::number(pourcentage(fait, total)) + QStringLiteral(" %");
    if (!liste.isEmpty() && liste.first().startsWith(debut)) {
        liste.first() = ligne;
        rafraichir();
    } else {
        ajouterLigne(liste, nomListe, ligne);
    }
}

void FMain::Poste_ProgressEmission(qint32 Envoyés, qint32 Total)
{
    progression(mListeEmissions, listeEmissions, QStringLiteral("Emission "), mPoste ? mPoste->PartieGrosFichier : QString(), Envoyés, Total);
}

void FMain::Poste_ProgressRecept(qint32 Recu, qint32 Attendu)
{
    progression(mListeRéceptions, listeReceptions, QStringLiteral("Réception "), mPoste ? mPoste->PartieRecue() : QString(), Recu, Attendu);
}

void FMain::Poste_FichierReçu(const QString &Fichier)
{
    retirerProgression(mListeRéceptions, QStringLiteral("Réception "));
    const QString nom = QFileInfo(Fichier).fileName();
    ajouterLigne(mListeRéceptions, listeReceptions, dateHeure() + QStringLiteral(" - ") + nom + QStringLiteral(" (") + Fichier + ')');
    setCaption((mPoste ? mPoste->Index : QString()) + QStringLiteral(" : ")
               + mContexte.env.plateforme.maintenant().toString(QStringLiteral("HH:mm:ss")) + QStringLiteral(" - Reçu ") + nom);
    mDerniereReception = {nom, mContexte.env.plateforme.maintenant()};
    if (mJournal && mPoste) {
        noter(QStringLiteral("RECEPTION"),
              ContenuFichier::de(Fichier).empreinte(Fichier, mContexte.env.plateforme.ecouleDepuis(mPoste->TickDebutReception())));
    }
    couperListe(mListeRéceptions, slNbReceptions);
    rafraichir();
}

void FMain::noter(const QString &genre, const QString &texte)
{
    // A journal failure is shown as an information line, which is not journaled again.
    if (!mJournal || mbEcritureJournal)
        return;
    mbEcritureJournal = true;
    mJournal->noter(genre, texte);
    mbEcritureJournal = false;
}

void FMain::informer(const QString &texte)
{
    afficherInformation(texte, QStringLiteral("COMMANDE"));
}

void FMain::Poste_Information(const QString &Info)
{
    afficherInformation(Info, QStringLiteral("INFO"));
}

void FMain::afficherInformation(const QString &Info, const QString &genre)
{
    QString texte = Info;
    const qsizetype cr = texte.indexOf(QLatin1Char('\r'));
    if (cr >= 0)
        texte.remove(cr, 1);
    if (!genre.isEmpty())
        noter(genre, texte);
    setCaption((mPoste ? mPoste->Index : QString()) + QStringLiteral(" : ") + texte);
    ajouterLigne(mListeInfo, listeInfo, dateHeure() + QStringLiteral(" : ") + texte);
    couperListe(mListeInfo, slNbInfos);
    rafraichir();
}

void FMain::Poste_EtatTimeOut(const QString &TypeTO, const QString &Compteur, int Durée)
{
    mLblTimeOut = TypeTO;
    if (Durée > 0)
        mLblTimeOut += QStringLiteral("-%1*%2").arg(Compteur).arg(Durée);
    rafraichir();
}

void FMain::Poste_CommandeReçue(const QString &Commande, QString &Réponse)
{
    if (Commande.startsWith(QStringLiteral("MESSAGE=")))
        recevoirMessage(Commande.mid(8));
    else
        Poste_Information(Commande);
}

void FMain::Poste_LiaisonVerifiee(VerdictLiaison verdict)
{
    const auto vivant = mVie.temoin();
    if (mCocheConnecter == EtatCase::Grise)
        setCocheConnecter(EtatCase::Coche);
    if (!vivant)
        return;
    if (verdict == VerdictLiaison::Verifiee || verdict == VerdictLiaison::VerifieeAvecHorloge)
        Poste_Information(QStringLiteral("Connexion vérifiée."));
    else if (verdict != VerdictLiaison::Chut)
        Poste_Information(QStringLiteral("Connexion établie"));
}

void FMain::recevoirMessage(const QString &texte)
{
    // A box waits for its reader: shown later, out of the frame's delivery, one at a time.
    if (mMessagesEnAttente.size() >= messagesEnAttenteMax) {
        ++mMessagesPerdus;
        return;
    }
    mMessagesEnAttente.push_back(texte);
    if (!mMessageAffiche)
        mContexte.env.plateforme.planifier(0, [this, vivant = mVie.temoin()] {
            if (vivant)
                afficherMessages();
        });
}

void FMain::afficherMessages()
{
    if (std::exchange(mMessageAffiche, true))
        return;
    const auto vivant = mVie.temoin();
    while (!mMessagesEnAttente.empty() && !mbTermine) {
        const QString texte = mMessagesEnAttente.front();
        mMessagesEnAttente.pop_front();
        const QString saisie = mContexte.env.boites.saisir(texte, titreApplication);
        if (!vivant)
            return;
        if (!saisie.isEmpty() && mPoste && !mbTermine)
            mPoste->EnvoyerCommande(Windows1252::depuisTexte(QStringLiteral("MESSAGE=") + saisie), "", 3000);
        if (!vivant)
            return;
    }
    if (mMessagesPerdus > 0)
        Poste_Information(QStringLiteral("%1 message(s) du poste distant perdu(s) : %2 attendaient déjà d'être lus.")
                              .arg(std::exchange(mMessagesPerdus, 0))
                              .arg(messagesEnAttenteMax));
    mMessageAffiche = false;
}

void FMain::Poste_ModemEtatConnexion(bool Connecté)
{
    const auto vivant = mVie.temoin();
    const QString cause = mPoste ? texteCause(mPoste->causeDeconnexion()) : QString();
    noter(Connecté ? QStringLiteral("CONNEXION") : QStringLiteral("DECONNEXION"),
          Connecté ? QStringLiteral("Modem connecté") : QStringLiteral("Modem déconnecté (%1)").arg(cause));
    Poste_Information(QStringLiteral("Modem ") + (Connecté ? QStringLiteral("connecté") : QStringLiteral("déconnecté")));
    if (!mPoste || mbTermine)
        return;
    if (mPoste->Parametres.PosteAppellant && !Connecté) {
        if (mCocheConnecterActif) {
            setCocheConnecter(EtatCase::Decoche);
            if (!vivant || mbTermine)
                return;
            const int etat = mVue.etatFenetre();
            if (etat != 1) {
                mVue.setEtatFenetre(EtatFenetre::Normale);
                mVue.prendreFocus();
            }
            const bool rappeler = mContexte.env.boites.afficherTempo(
                QStringLiteral("Le poste distant s'est déconnecté.\r\nVoulez vous le rappeller ?"),
                mPoste->Index + QStringLiteral(" : Reconnexion automatique"), 20, true, etat);
            if (!vivant || mbTermine || !mPoste)
                return;
            if (rappeler) {
                setCocheConnecter(EtatCase::Coche);
                if (vivant)
                    mVue.setEtatFenetre(etat);
            } else {
                mPoste->ArreterTempos();
            }
        }
    } else {
        setCocheConnecter(EtatCase::Grise);
    }
    if (vivant && !mbTermine)
        setCocheSynchro(Connecté ? 1 : 0);
}
