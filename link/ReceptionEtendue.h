#pragma once

#include "link/AvancementFichier.h"
#include "link/shared/Plages.h"
#include "link/shared/TramesEtendues.h"
#include "platform/FichierDisque.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class CanalLiaison;
class ReceptionFichier;
struct ReponseCommande;

// Receiving a file from a station of our own, slices in any order, written straight to a file
// of the work folder. What a lost line or a restart leaves there is taken up by the next offer
// of the same file (name, size and SHA-256), and what no offer claims goes after a few days.
// The file is stored only once its SHA-256 matches.
class ReceptionEtendue
{
public:
    ReceptionEtendue(CanalLiaison &canal, ReceptionFichier &reception);
    ~ReceptionEtendue();

    void surOffre(const QByteArray &texte);
    // The offer of a file that crosses coded: taken when every reference it names is held intact.
    void surOffreCodee(const QByteArray &texte);
    void surDonnees(const QByteArray &texte);
    void surFin(const QByteArray &texte);
    // The line went, or the reception timed out: what is held stays for the next offer.
    void suspendre();
    // Bytes of the file under way held from its start.
    qint64 recus() const { return mEnCours ? mEnCours->recu.continuDepuisZero() : 0; }
    // Of the file under way, none when none: a send alongside has its own.
    AvancementFichier avancement() const;

    static constexpr int reprisesGardees = 8;
    static constexpr qint64 reprisesDureeMaxJours = 7;

private:
    struct EnCours
    {
        TramesEtendues::Annonce annonce;
        QString base; // the work folder's file, without ".part" or ".info"
        std::unique_ptr<FichierDisque> donnees;
        Plages recu;
        qint64 continuNote = 0; // what the ".info" file says is held
        QByteArray empreinte;   // for the files stored lately
        bool dejaRange = false;
        ErreurDisque panne; // why the last sync failed
        std::optional<TramesEtendues::Codage> codage;
        QStringList references; // the memory's copies, in the offer's order
        std::optional<QByteArray> contenu; // what crossed, when it came within its offer
    };
    // The file whole: checked, rebuilt when coded, stored, and answered.
    void conclure(std::unique_ptr<EnCours> e);
    bool dejaRecu(EnCours &e) const;
    void accueillir(std::unique_ptr<EnCours> e, const char *pret);
    // The file rebuilt from what crossed into sortie, checked against its SHA-256: nothing once
    // the engine went, false with the reason (erreur when the disk refused) when it cannot be.
    std::optional<bool> decoder(const EnCours &e, FichierDisque &sortie, QString &raison, ErreurDisque &erreur);
    QString dossier() const;
    static QString partie(const EnCours &e) { return e.base + QStringLiteral(".part"); }
    void nettoyer();
    // The part file for that offer, taken up when it is the same file. Empty when impossible.
    QString preparer(EnCours &e);
    // The data on disk, then the note that vouches for it. False when the data cannot be
    // vouched for any more (its sync failed): the part then goes.
    bool noter(EnCours &e);
    // The disk refused the part: held data that a sync vouched for stays for the next offer.
    void arreterSurPanne(EnCours &e, ErreurDisque erreur);
    void oublier(const EnCours &e);
    ReponseCommande refuser(const QString &raison);
    std::optional<bool> verifier(EnCours &e); // nothing when the engine went

    CanalLiaison &mCanal;
    ReceptionFichier &mReception;
    std::unique_ptr<EnCours> mEnCours;
};
