#include "link/ReceptionEtendue.h"

#include "link/CanalLiaison.h"
#include "link/DossiersPoste.h"
#include "link/EmpreinteFichier.h"
#include "link/MemoireFichiers.h"
#include "link/ReceptionFichier.h"
#include "link/shared/Decodeur.h"
#include "link/shared/MGlobal.h"
#include "platform/Disque.h"
#include "platform/Windows1252.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

#include <fcntl.h>

namespace TE = TramesEtendues;

namespace {
// What is held is noted at least this often, so that a station stopped hard loses little.
constexpr qint64 noteTousLes = 64 * 1024;
}

ReceptionEtendue::ReceptionEtendue(CanalLiaison &canal, ReceptionFichier &reception) : mCanal(canal), mReception(reception) {}

ReceptionEtendue::~ReceptionEtendue() = default;

QString ReceptionEtendue::dossier() const
{
    return mCanal.dossiers().travail() + QStringLiteral("/Reprises");
}

void ReceptionEtendue::nettoyer()
{
    // Bounded: the newest few, none older than a week.
    QDir d(dossier());
    const QFileInfoList infos = d.entryInfoList({QStringLiteral("*.info")}, QDir::Files, QDir::Time);
    const QDateTime limite = mCanal.maintenant().addDays(-reprisesDureeMaxJours);
    for (int i = 0; i < infos.size(); ++i) {
        const QString base = infos[i].absolutePath() + QLatin1Char('/') + infos[i].completeBaseName();
        if (i >= reprisesGardees || infos[i].lastModified() < limite) {
            QFile::remove(base + QStringLiteral(".part"));
            QFile::remove(base + QStringLiteral(".info"));
        }
    }
    for (const QFileInfo &part : d.entryInfoList({QStringLiteral("*.part")}, QDir::Files))
        if (!QFileInfo::exists(part.absolutePath() + QLatin1Char('/') + part.completeBaseName() + QStringLiteral(".info")))
            QFile::remove(part.absoluteFilePath());
}

ReponseCommande ReceptionEtendue::refuser(const QString &raison)
{
    return mCanal.repondre(TE::sceller(TE::Refus, Windows1252::depuisTexte(raison), mCanal.etat().crcEtendu));
}

void ReceptionEtendue::surOffre(const QByteArray &texte)
{
    suspendre();
    const auto annonce = TE::lireOffre(texte, mCanal.etat().crcEtendu);
    if (!annonce)
        return; // damaged: the sender offers again
    auto e = std::make_unique<EnCours>();
    e->annonce = *annonce;
    accueillir(std::move(e), TE::Pret);
}

void ReceptionEtendue::surOffreCodee(const QByteArray &texte)
{
    suspendre();
    const auto offre = TE::lireOffreCodee(texte, mCanal.etat().crcEtendu);
    if (!offre)
        return;
    // What is rebuilt is the file, whatever little crosses: the reserve counts it whole.
    QDir().mkpath(mCanal.dossiers().travail());
    if (const auto manque = mReception.rangement().manqueDePlace(mCanal.dossiers().travail(), offre->codage.tailleFichier)) {
        mCanal.informer(QStringLiteral("Réception de %1 impossible : %2")
                            .arg(MGlobal::TexteDistant(Windows1252::versTexte(offre->charge.nom), 255), *manque));
        refuser(*manque);
        return;
    }
    if (MemoireFichiers::sontDesTables(offre->charge.nom)
        && (MemoireFichiers::nomDesTables(offre->charge.nom) != offre->charge.nom || offre->codage.tailleFichier > MethodeCodage::tablesMax)) {
        refuser(QStringLiteral("tables de codage invalides"));
        return;
    }
    auto e = std::make_unique<EnCours>();
    e->annonce = offre->charge;
    e->codage = offre->codage;
    MemoireFichiers memoire = MemoireFichiers::duPoste(mCanal);
    for (const QByteArray &debut : offre->codage.references) {
        const std::optional<QByteArray> sha = memoire.trouver(debut);
        const std::optional<bool> tenue = sha ? memoire.tient(*sha, [&] { return mCanal.pause(0, Portee::Etape); }) : false;
        if (!tenue)
            return; // the engine went
        if (!*tenue) {
            mCanal.informer(QStringLiteral("Le fichier %1 vient sans sa référence : elle manque ou est abîmée dans la mémoire de ce poste.")
                                .arg(MGlobal::TexteDistant(Windows1252::versTexte(offre->charge.nom), 255)));
            mCanal.repondre(offre->contenu ? TE::sceller(TE::Refus, TE::SansReference, mCanal.etat().crcEtendu)
                                           : TE::sceller(TE::PretCode, TE::SansReference, mCanal.etat().crcEtendu));
            return;
        }
        e->references.append(memoire.chemin(*sha));
    }
    if (!offre->contenu) {
        accueillir(std::move(e), TE::PretCode);
        return;
    }
    // It came whole: checked, rebuilt and stored now, as at the end of the slices.
    e->contenu = *offre->contenu;
    e->dejaRange = dejaRecu(*e);
    mReception.debut();
    conclure(std::move(e));
}

bool ReceptionEtendue::dejaRecu(EnCours &e) const
{
    // The file itself: a file sent again after a lost acknowledgement is known, however coded.
    e.empreinte = e.codage ? "X" + e.codage->shaFichier + QByteArray::number(e.codage->tailleFichier) + e.annonce.nom
                           : "X" + e.annonce.sha256 + QByteArray::number(e.annonce.taille) + e.annonce.nom;
    // Tables sent again were lost from the memory here: they are kept again.
    return !(e.codage && MemoireFichiers::sontDesTables(e.annonce.nom)) && mReception.rangement().dejaRecu(e.empreinte);
}

void ReceptionEtendue::accueillir(std::unique_ptr<EnCours> e, const char *pret)
{
    const TE::Annonce &annonce = e->annonce;
    // Both ways at once: this station's own files keep leaving while this one arrives, and
    // the send's progress label stays its own.
    mReception.debut();
    mCanal.informer(QStringLiteral("Un fichier va arriver..."));
    qint64 debut = annonce.taille;
    if (dejaRecu(*e)) {
        e->dejaRange = true;
    } else {
        const QString raison = preparer(*e);
        if (!raison.isEmpty()) {
            const QString nom = MGlobal::TexteDistant(Windows1252::versTexte(annonce.nom), 255);
            if (e->panne.duDisque())
                mReception.rangement().refusParLeDisque(nom, e->panne);
            else
                mCanal.informer(QStringLiteral("Réception de %1 impossible : %2").arg(nom, raison));
            if (!refuser(raison).fin())
                mReception.fin();
            return;
        }
        debut = e->recu.continuDepuisZero();
    }
    mEnCours = std::move(e);
    if (mCanal.repondre(TE::sceller(pret, QByteArray::number(debut), mCanal.etat().crcEtendu)).repondue())
        mReception.echangeRecu();
}

QString ReceptionEtendue::preparer(EnCours &e)
{
    QDir().mkpath(dossier());
    nettoyer();
    e.base = dossier() + QLatin1Char('/') + QString::fromLatin1(e.annonce.sha256) + QLatin1Char('-')
        + QString::number(e.annonce.taille);
    // Only what this station wrote is taken up: a link planted here goes, unfollowed.
    for (const QString &chemin : {partie(e), e.base + QStringLiteral(".info")}) {
        const QFileInfo info(chemin);
        if (info.isSymLink() || (info.exists() && !info.isFile())) {
            QFile::remove(chemin);
            mCanal.informer(QStringLiteral("%1 n'était pas un fichier de ce poste : il est supprimé sans être suivi.").arg(chemin));
        }
    }
    // The note names the file: the same content under another name starts afresh.
    QFile note;
    qint64 continu = 0;
    QString erreur;
    if (QFileInfo::exists(e.base + QStringLiteral(".info"))
        && Disque::ouvrirSansLien(note, e.base + QStringLiteral(".info"), QIODevice::ReadOnly, erreur)) {
        const QList<QByteArray> lignes = note.readAll().split('\n');
        if (lignes.size() >= 2 && QByteArray::fromHex(lignes[0]) == e.annonce.nom)
            continu = TE::nombre(lignes[1], e.annonce.taille).value_or(0);
        note.close();
    }
    continu = std::min(continu, QFileInfo(partie(e)).size());
    if (const auto manque = mReception.rangement().manqueDePlace(dossier(), e.annonce.taille - continu))
        return *manque;
    e.donnees = std::make_unique<FichierDisque>(mCanal.disque());
    if (!e.donnees->ouvrir(partie(e), O_RDWR | O_CREAT | (continu > 0 ? 0 : O_TRUNC), e.panne))
        return e.panne.texte;
    e.recu.ajouter(0, continu);
    e.continuNote = -1;
    if (!noter(e)) {
        oublier(e);
        return e.panne.texte;
    }
    return {};
}

bool ReceptionEtendue::noter(EnCours &e)
{
    const qint64 continu = e.recu.continuDepuisZero();
    if (continu == e.continuNote || !e.donnees || !e.donnees->estOuvert())
        return true;
    // A failed sync may have dropped written pages while a read still shows them: nothing
    // of this part is trusted after it.
    if (!e.donnees->synchroniser(e.panne))
        return false;
    ErreurDisque erreur;
    if (mCanal.disque().remplacer(e.base + QStringLiteral(".info"),
                                  e.annonce.nom.toHex() + '\n' + QByteArray::number(continu) + '\n', erreur))
        e.continuNote = continu;
    return true;
}

void ReceptionEtendue::oublier(const EnCours &e)
{
    if (e.base.isEmpty())
        return; // it came within its offer: nothing of it on the disk
    QFile::remove(partie(e));
    QFile::remove(e.base + QStringLiteral(".info"));
}

void ReceptionEtendue::arreterSurPanne(EnCours &e, ErreurDisque erreur) // a copy: e goes below
{
    if (!noter(e))
        oublier(e);
    mReception.rangement().refusParLeDisque(MGlobal::TexteDistant(Windows1252::versTexte(e.annonce.nom), 255), erreur);
    mEnCours.reset();
    if (!refuser(erreur.texte).fin())
        mReception.fin();
}

void ReceptionEtendue::surDonnees(const QByteArray &texte)
{
    if (!mEnCours || mEnCours->dejaRange)
        return;
    EnCours &e = *mEnCours;
    const auto tranche = TE::lireDonnees(texte, mCanal.etat().crcEtendu);
    if (!tranche || tranche->tranche.size() > TE::partieMax || tranche->position + tranche->tranche.size() > e.annonce.taille) {
        mCanal.informer(QStringLiteral("Erreur de réception"));
        return; // the next acknowledgement shows the hole, and the sender fills it
    }
    const qint64 fin = tranche->position + tranche->tranche.size();
    if (!e.recu.contient(tranche->position, fin)) {
        ErreurDisque erreur;
        if (!e.donnees->ecrire(tranche->tranche.constData(), tranche->tranche.size(), tranche->position, erreur)) {
            arreterSurPanne(e, erreur);
            return;
        }
        e.recu.ajouter(tranche->position, fin);
        if (e.recu.continuDepuisZero() - e.continuNote >= noteTousLes && !noter(e)) {
            e.donnees.reset();
            oublier(e);
            arreterSurPanne(e, e.panne);
            return;
        }
    }
    if (mCanal.repondre(TE::sceller(TE::Acquit, e.recu.texte(), mCanal.etat().crcEtendu)).repondue())
        mReception.echangeRecu();
}

std::optional<bool> ReceptionEtendue::verifier(EnCours &e)
{
    QFile lu;
    QString erreur;
    QByteArray sha;
    const auto lecture = Disque::ouvrirSansLien(lu, partie(e), QIODevice::ReadOnly, erreur)
        ? EmpreinteFichier::calculer(lu, [&] { return mCanal.pause(0, Portee::Etape); }, sha)
        : EmpreinteFichier::Issue::Illisible;
    if (lecture == EmpreinteFichier::Issue::Arretee)
        return std::nullopt;
    return sha == e.annonce.sha256;
}

void ReceptionEtendue::surFin(const QByteArray &texte)
{
    if (!TE::ouvrir(texte, TE::Fin, mCanal.etat().crcEtendu))
        return;
    if (!mEnCours) {
        refuser(QStringLiteral("aucun fichier en cours"));
        return;
    }
    conclure(std::move(mEnCours));
}

void ReceptionEtendue::conclure(std::unique_ptr<EnCours> e)
{
    const QString nom = MGlobal::TexteDistant(Windows1252::versTexte(e->annonce.nom), 255);
    if (e->dejaRange) {
        mCanal.informer(QStringLiteral("Fichier %1 déjà reçu : il est acquitté sans seconde copie.").arg(nom));
        if (!mCanal.repondre("OKFICHIER").fin())
            mReception.fin();
        return;
    }
    const bool enTranches = !e->contenu;
    if (enTranches && !e->recu.contient(0, e->annonce.taille)) {
        if (!noter(*e))
            oublier(*e);
        if (!refuser(QStringLiteral("fichier incomplet")).fin())
            mReception.fin();
        return;
    }
    // Synced and closed before it is read back: a failing disk says so here, not later.
    ErreurDisque erreur;
    if (enTranches && (!e->donnees->synchroniser(erreur) || !e->donnees->fermer(erreur))) {
        oublier(*e);
        mReception.rangement().refusParLeDisque(nom, erreur);
        if (!refuser(erreur.texte).fin())
            mReception.fin();
        return;
    }
    const std::optional<bool> entier = enTranches ? verifier(*e) : true;
    if (!entier)
        return; // the engine went
    if (!*entier) {
        oublier(*e);
        mCanal.informer(QStringLiteral("Fichier %1 reçu abîmé (empreinte SHA-256 fausse) : il repart du début.").arg(nom));
        if (!refuser(QStringLiteral("empreinte SHA-256 fausse")).fin())
            mReception.fin();
        return;
    }
    FichierDisque reconstitue(mCanal.disque());
    QString aRanger = partie(*e);
    if (e->codage) {
        QString raison;
        ErreurDisque panne;
        const std::optional<bool> fait = decoder(*e, reconstitue, raison, panne);
        if (!fait)
            return;
        if (!*fait) {
            if (panne.duDisque()) {
                // What crossed is whole and checked: it stays for the next offer.
                mReception.rangement().refusParLeDisque(nom, panne);
                raison = panne.texte;
            } else {
                oublier(*e);
                mCanal.informer(QStringLiteral("Fichier %1 : reconstitution impossible (%2) : il reviendra sans référence.").arg(nom, raison));
                raison = QStringLiteral("reconstitution impossible : ") + raison;
            }
            if (!refuser(raison).fin())
                mReception.fin();
            return;
        }
        aRanger = reconstitue.chemin();
        // Kept before storing takes it away: the next file of this kind may cross against it.
        bool parti = false;
        const bool garde = MemoireFichiers::duPoste(mCanal).retenir(
            aRanger, {e->codage->shaFichier, e->codage->tailleFichier, e->annonce.nom, mCanal.maintenant()}, panne, [&] {
                parti = !mCanal.pause(0, Portee::Etape);
                return !parti;
            });
        if (parti)
            return;
        if (MemoireFichiers::sontDesTables(e->annonce.nom)) {
            // Not a file of the user's: the memory is where it goes.
            oublier(*e);
            const QString genre = nom.mid(nom.lastIndexOf(QLatin1Char('.')));
            if (garde)
                mCanal.informer(QStringLiteral("Tables de codage des fichiers %1 reçues du poste distant.").arg(genre));
            else
                mCanal.informer(QStringLiteral("Mémoire des fichiers échangés : les tables de codage des fichiers %1 n'y sont pas gardées (%2).")
                                    .arg(genre, panne.texte));
            if (!(garde ? mCanal.repondre("OKFICHIER") : refuser(panne.texte)).fin())
                mReception.fin();
            return;
        }
        if (!garde)
            mCanal.informer(QStringLiteral("Mémoire des fichiers échangés : %1 n'y est pas gardé (%2).").arg(nom, panne.texte));
    }
    const std::optional<bool> range = mCanal.mener([&] { return mReception.rangement().recevoirFichierDepuis(e->annonce.nom, aRanger); });
    if (!range)
        return;
    ReponseCommande reponse;
    if (*range) {
        if (enTranches) {
            QFile::remove(e->base + QStringLiteral(".info"));
            if (e->codage)
                QFile::remove(partie(*e));
        }
        mReception.rangement().retenir(e->empreinte);
        reponse = mCanal.repondre("OKFICHIER");
    } else {
        // Whole and checked: what is held stays, and the next offer resumes at its end.
        reponse = refuser(QStringLiteral("rangement impossible"));
    }
    if (!reponse.fin())
        mReception.fin();
}

std::optional<bool> ReceptionEtendue::decoder(const EnCours &e, FichierDisque &sortie, QString &raison, ErreurDisque &erreur)
{
    // Apart from the parts, whose notes have work files of their own.
    const QString ici = mCanal.dossiers().travail() + QStringLiteral("/Reconstitution");
    QDir().mkpath(ici);
    // One file is rebuilt at a time: what is there was left by a station stopped meanwhile.
    for (const QFileInfo &reste : QDir(ici).entryInfoList(QDir::Files | QDir::Hidden | QDir::System))
        QFile::remove(reste.absoluteFilePath());
    if (!sortie.creerProvisoire(ici, erreur)) {
        raison = erreur.texte;
        return false;
    }
    QCryptographicHash sha(QCryptographicHash::Sha256);
    qint64 position = 0;
    const auto ecrire = [&](const char *octets, qint64 n) {
        sha.addData(QByteArrayView(octets, n));
        const bool ecrit = sortie.ecrire(octets, n, position, erreur);
        position += n;
        return ecrit;
    };
    Decodeur decodeur = e.contenu ? Decodeur(e.codage->methode, *e.contenu, e.codage->tailleFichier, ecrire, e.references)
                                  : Decodeur(e.codage->methode, partie(e), e.codage->tailleFichier, ecrire, e.references);
    // A step at a time, the line answered between steps.
    while (decodeur.etape())
        if (!mCanal.pause(0, Portee::Etape))
            return std::nullopt;
    if (!decodeur.reussi()) {
        raison = erreur.texte.isEmpty() ? decodeur.erreur() : erreur.texte;
        return false;
    }
    if (sha.result().toHex() != e.codage->shaFichier) {
        raison = QStringLiteral("empreinte SHA-256 fausse");
        return false;
    }
    if (!sortie.synchroniser(erreur) || !sortie.fermer(erreur)) {
        raison = erreur.texte;
        return false;
    }
    return true;
}

AvancementFichier ReceptionEtendue::avancement() const
{
    if (!mEnCours)
        return {};
    const qint64 taille = mEnCours->annonce.taille;
    return AvancementFichier::octets(recus(), taille, mEnCours->codage ? mEnCours->codage->tailleFichier : taille);
}

void ReceptionEtendue::suspendre()
{
    if (!mEnCours)
        return;
    if (!noter(*mEnCours))
        oublier(*mEnCours);
    mEnCours.reset();
}
