#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class CanalLiaison;
class Dezipper;
struct ErreurDisque;

// Storing what arrives: a whole file under a name that overwrites nothing (an archive opened
// first), and the files stored lately, so that one sent again after a lost answer is not
// stored twice.
//
// Storing waits with events running: the link may be torn down meanwhile, and this with it.
class RangementFichier
{
public:
    explicit RangementFichier(CanalLiaison &canal);
    ~RangementFichier();

    // True when the file, or at least its error copy, is on disk: only then is it acknowledged.
    bool recevoirFichier(QByteArray &Texte);
    // The same for a file already on disk (source), which is moved to its place.
    bool recevoirFichierDepuis(const QByteArray &nom, const QString &source);
    void fermer();
    // The disk refused a file on its way in: said once while the disk keeps refusing.
    void refusParLeDisque(const QString &nom, const ErreurDisque &erreur);

    static QByteArray empreinte(const QByteArray &texte);
    bool dejaRecu(const QByteArray &empreinte);
    // Remembered on disk before the file is acknowledged.
    void retenir(const QByteArray &empreinte);
    // What a reception stopped half-way (a crash, a power cut) left in the work and incoming
    // folders: never acknowledged, so removed, and said once.
    void nettoyerRestes();

    // Why taille more bytes in dossier would eat into the reserve of free space, if they would.
    std::optional<QString> manqueDePlace(const QString &dossier, qint64 taille) const;

    // A name the line damaged, seen from what a sender can send.
    static bool nomAbime(const QByteArray &nom, const QByteArray &donnees);
    static const QString extensionArchive;

private:
    struct Stockage
    {
        QByteArray texte; // what came, name removed
        QString nom;
        QString etape;    // said when it fails
        QString cible;
        bool archive = false;
        QString source;   // the file on disk holding texte, when it is not in memory
    };
    enum class Nom { Lu, Illisible, Abime };
    // A stamped name in dossier for the file: false once the engine is gone.
    bool nommerHorodate(Stockage &s, const QString &dossier, const QString &nom);
    // The name checked and made safe, and taken off Texte.
    Nom lireNom(Stockage &s, QByteArray &Texte);
    void nommer(Stockage &s, const QByteArray &nom);
    bool ranger(Stockage &s);
    // Each step lets the storing go on, or ends it: with the file (or its error copy) on
    // disk, to be acknowledged, or without.
    enum class Suite { Continuer, Acquitter, NePasAcquitter };
    static Suite arret(bool acquitte) { return acquitte ? Suite::Acquitter : Suite::NePasAcquitter; }
    Suite choisirCible(Stockage &s, const QString &dossier);
    Suite deballer(Stockage &s, const QString &dossier);
    // source (s.texte when empty) stored at s.cible, or at another free name of dossier when
    // another program takes that one meanwhile (none given: no other name). Nothing when the
    // link went meanwhile, and this with it.
    std::optional<bool> mettreEnPlace(Stockage &s, const QString &source, const QString &dossier, const QString &nom, ErreurDisque &erreur);
    // What was received survives in an error file, when that at least can be written.
    bool echec(const Stockage &s, const QString &description);
    // The disk refused: nothing kept, nothing acknowledged.
    bool echecDuDisque(const Stockage &s, const ErreurDisque &erreur)
    {
        refusParLeDisque(s.nom, erreur);
        return false;
    }
    int mPanneDite = 0; // the disk's refusal last said, until a file is stored again
    void garderArchiveAbimee(const QString &archive, const QString &raison);

    CanalLiaison &mCanal;
    struct RecuRecemment
    {
        QByteArray empreinte;
        qint64 date; // seconds since 1970, kept across restarts
    };
    std::vector<RecuRecemment> mRecusRecemment;
    bool mMemoireChargee = false;
    QString cheminMemoire() const;
    void chargerMemoire();
    QString dossierExtraction() const;
    std::unique_ptr<Dezipper> mDecompression;
};
