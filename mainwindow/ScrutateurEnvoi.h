#pragma once

#include "link/EnvoiFichier.h"
#include "mainwindow/ContenuFichier.h"
#include "mainwindow/FichiersComplets.h"
#include "mainwindow/TourDeLigne.h"
#include "platform/JetonVie.h"
#include "platform/Plateforme.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <limits>
#include <memory>
#include <optional>

class CInterlocuteur;
class Minuterie;
class SurveillanceDossier;

// What became of a file the scanner took up.
struct BilanEnvoi
{
    enum class Issue {
        Parti,     // delivered, and removed from the folder
        Change,    // delivered, but rewritten meanwhile: kept, it leaves again
        MisDeCote, // it can never leave: moved aside (misDeCote)
        Echec,     // it did not leave; echecs failures so far, next try in attenteMs at the earliest
        Illisible, // it cannot be read (raison)
    };
    Issue issue = Issue::Parti;
    QString chemin = {};
    QString misDeCote = {};
    QString raison = {};
    int echecs = 0;
    quint32 attenteMs = 0;
    quint32 dureeMs = 0;
    std::optional<ContenuFichier> contenu = {}; // when the journal is kept
};

// What the scanner reaches of the main window.
class ProprietaireScrutateur
{
public:
    virtual CInterlocuteur *poste() = 0;
    // The scanner's box is ticked and the station is not ending.
    virtual bool envoisPermis() const = 0;
    virtual bool journalActif() const = 0;
    // An information line.
    virtual void signaler(const QString &texte) = 0;
    // A send ended (its progress line goes) or a file was looked at and left.
    virtual void envoiTermine(const BilanEnvoi &bilan) = 0;
    // A file failed and the link does not answer a test: the boxes go off, the link is made again.
    virtual void liaisonMuette() = 0;

protected:
    ~ProprietaireScrutateur() = default;
};

// The outgoing-folder scanner: every file dropped into the outgoing folder is sent whole, then
// deleted; one that fails waits longer each time, behind the others; a change in the folder
// brings the next pass forward; the line is shared fairly with the other station.
class ScrutateurEnvoi
{
public:
    ScrutateurEnvoi(ProprietaireScrutateur &proprietaire, Plateforme &plateforme,
                    std::function<std::unique_ptr<SurveillanceDossier>()> surveillanceDossier);
    ~ScrutateurEnvoi();

    // The scanner's timer.
    Minuterie &minuterie() { return *mClock; }
    // The box went on (or off): a wait first, longer on the calling station.
    void caseChangee(bool coche, bool appelant);
    void tic();
    void arreter();
    // The other station answered as one of ours: the first wait can end sooner.
    void posteDistantReconnu();
    // A file has arrived whole: the other station's turn is over.
    void receptionTerminee();

private:
    TourDeLigne::Liaison liaison() const;
    bool fichierEnAttente() const;
    void balayerPuisRearmer();
    void veillerDossier();
    void changement(const QString &nom, bool complet);
    // Scans within dansMs when the scanner runs regularly and would scan later.
    void avancerBalayage(quint32 dansMs);
    bool balayageRegulier() const;
    // Returns when a file not yet whole should be looked at again (0: none waits).
    quint32 balayer();
    // False when the scan must stop here: the file failed, or the station is going.
    bool envoyer(const QString &chemin);
    void echouer(const QString &chemin, const std::optional<ContenuFichier> &contenu, quint32 duree,
                 const EnvoiFichier::Resultat &resultat);

    // Files that failed to leave: they go behind the others, and wait longer each time.
    struct EchecEnvoi
    {
        int nombre = 0;
        quint32 tick = 0;       // of the last failure
        bool illisible = false; // already said that it cannot be read
    };
    static quint32 attenteApresEchecs(int nombre);
    bool enAttenteDeReessai(const QString &chemin) const;
    bool lisible(const QString &chemin);
    // A regular file, not a link: anything else is said once and left where it is.
    bool ordinaire(const QString &chemin);

    ProprietaireScrutateur &mProprietaire;
    Plateforme &mPlateforme;
    std::function<std::unique_ptr<SurveillanceDossier>()> mFabriqueSurveillance;
    std::unique_ptr<Minuterie> mClock;
    JetonVie mVie;
    // A file goes only once it is whole; a change in the folder brings the next scan forward.
    FichiersComplets mComplets;
    std::unique_ptr<SurveillanceDossier> mSurveillanceDossier;
    QString mDossierSurveille;
    bool mbBalayageEnCours = false;
    bool mbAttenteAvantBalayage = false; // the box just went on: the next tick only starts the scans
    bool mbChangementPendantBalayage = false;
    bool mbLigneCedee = false; // the last scan failed a file: the next one waits longer
    Plateforme::Identifiant mBalayageAvance = 0;
    qint64 mInstantAvanceUs = 0;
    qint64 mFinBalayageUs = std::numeric_limits<qint64>::min() / 2;
    QHash<QString, EchecEnvoi> mEchecs;
    QSet<QString> mNonOrdinaires; // links and special files of the outgoing folder, each said once
    TourDeLigne mTour;
};
