// File sending and receiving.
#include "CInterlocuteur.h"

#include "BoitesMessage.h"
#include "Dezipper.h"
#include "MGlobal.h"
#include "Minuterie.h"
#include "Plateforme.h"
#include "Windows1252.h"
#include "Zipper.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>

namespace {
constexpr qint64 taillePartie = 1024;
constexpr qint64 partiesMax = 999;
// At a noise of one byte in 10,000 a part of 1,060 characters is refused about one time in
// ten: eight refusals of one part in a row mean a line too bad to go on.
constexpr int refusParPartieMax = 8;
// A lost or unreadable answer leaves the part's fate unknown: the file starts again from
// part 1, which every receiver takes as a new file.
constexpr int reprisesMax = 3;
const QString extensionArchive = QStringLiteral(".ZQZIP");

qint32 nombre3(const QByteArray &texte, bool &ok)
{
    ok = texte.size() == 3 && std::all_of(texte.begin(), texte.end(), [](char c) { return c >= '0' && c <= '9'; });
    return ok ? texte.toInt() : 0;
}
}

QString CInterlocuteur::dossierTravail()
{
    return mContexte.dossierProgramme + QStringLiteral("/Travail/") + Dezipper::nomSur(msSectionConfig);
}

void CInterlocuteur::nettoyerDossierTravail()
{
    // Archives left by a station stopped in the middle of a send.
    QDir dossier(dossierTravail());
    for (const QString &nom : dossier.entryList(QDir::Files | QDir::Hidden))
        dossier.remove(nom);
}

bool CInterlocuteur::EnvoyerFichier(const QString &FichierDonne)
{
    msFichierMisDeCote.clear();
    mbEnvoiCoupe = false;
    QString Fichier = FichierDonne;
    if (!FrmComm || !FrmComm->Connecter())
        return false;
    mLigneAuDebutEnvoi = etatLigne();
    if (Fichier.isEmpty() || !QFileInfo(Fichier).isFile()) {
        Information(Fichier + QStringLiteral(" a disparu."));
        return true;
    }
    mSupervision.arreter();
    const auto vivant = mVivant;
    bool resultat = false;
    bool rearmer = true;

    // The archive is built apart, under the name that travels: the user's folder is never
    // written, and only the archive this call made is deleted, whatever the way out.
    QString archive;
    const auto supprimerArchive = qScopeGuard([&] {
        if (!archive.isEmpty())
            QFile::remove(archive);
    });
    const QString nomFichier = QFileInfo(Fichier).fileName();
    if (QFileInfo(Fichier).size() > 300) {
        const QString nomArchive = nomFichier + extensionArchive;
        if (Windows1252::depuisTexte(nomArchive).size() > 255 || QFile::encodeName(nomArchive).size() > 255) {
            Information(QStringLiteral("Le nom de %1 est trop long pour une archive : il part sans compression.").arg(Fichier));
        } else {
            if (!mCompression) {
                mCompression = std::make_unique<Zipper>();
                mCompression->Preparer();
                mCompression->Reglage(0);
            }
            QDir().mkpath(dossierTravail());
            mCompression->Vider();
            mCompression->setNomArchive(dossierTravail() + QLatin1Char('/') + nomArchive);
            mCompression->Fichiers().append(Fichier);
            QString raison;
            mCompression->Compresser(raison);
            if (!raison.isEmpty()) {
                MGlobal::AfficherMessage(mContexte.env.boites, Fichier + QStringLiteral("\r\n") + raison, Boutons::OK,
                                         QStringLiteral("Compression"));
                if (!*vivant)
                    return false;
            } else {
                archive = mCompression->NomArchive();
                Fichier = archive;
            }
        }
    }

    const QByteArray nom = Windows1252::depuisTexte(QFileInfo(Fichier).fileName());
    const qint64 longueurTexte = 12 + 1 + nom.size() + QFileInfo(Fichier).size();
    if (nom.size() > 255) {
        resultat = mettreDeCote(FichierDonne, QStringLiteral("son nom dépasse 255 caractères"));
    } else if (longueurTexte >= partiesMax * taillePartie) {
        resultat = mettreDeCote(FichierDonne,
                                QStringLiteral("%1 caractères à transmettre, %2 au plus").arg(longueurTexte).arg(partiesMax * taillePartie - 1));
    } else {
        QFile lecture(Fichier);
        if (!lecture.open(QIODevice::ReadOnly)) {
            Information(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(Fichier, lecture.errorString()));
        } else {
            const QByteArray T = "RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + lecture.readAll();
            lecture.close();
            const IssueEnvoi issue = envoyerTexteFichier(T);
            if (issue == IssueEnvoi::Fin)
                return false;
            resultat = issue == IssueEnvoi::Livre;
            mbEnvoiCoupe = issue == IssueEnvoi::LignePerdue;
            rearmer = issue != IssueEnvoi::LignePerdue;
        }
    }
    if (!*vivant)
        return false;
    if (rearmer)
        armer(GenreSupervision::Surveillance);
    return resultat;
}

CInterlocuteur::IssueEnvoi CInterlocuteur::envoyerTexteFichier(const QByteArray &T)
{
    // Every frame counts against one budget, restarts included, so that a bad line gives
    // the other files (and the other station) their turn.
    const qint64 P = T.size() < taillePartie ? 1 : T.size() / taillePartie + 1;
    qint64 tramesRestantes = 2 * P + 16;
    for (int reprise = 0;; ++reprise) {
        if (reprise > 0)
            Information(QStringLiteral("Réponse perdue : le fichier repart du début (reprise %1 / %2)").arg(reprise).arg(reprisesMax));
        const auto vivant = mVivant;
        if (!EnvoyerCommande("FICHIER", "OKFICHIER", 3000)) {
            if (!*vivant)
                return IssueEnvoi::Fin;
            if (etatLigne() != mLigneAuDebutEnvoi)
                return IssueEnvoi::LignePerdue;
            Information(QStringLiteral("Le poste distant n'est pas prêt"));
            return IssueEnvoi::Abandon;
        }
        NbreErreurs = 0; // the other station answers: the line carries
        const IssueEnvoi issue = envoyerUneFois(T, P, tramesRestantes);
        if (issue != IssueEnvoi::Inconnue)
            return issue;
        if (reprise == reprisesMax || tramesRestantes <= 0) {
            Information(QStringLiteral("Le fichier n'est pas passé après %1 reprises : il attendra son tour.").arg(reprise));
            return IssueEnvoi::Abandon;
        }
    }
}

CInterlocuteur::IssueEnvoi CInterlocuteur::envoyerUneFois(const QByteArray &T, qint64 P, qint64 &tramesRestantes)
{
    const auto vivant = mVivant;
    int refus = 0;
    for (qint64 i = 1; i <= P;) {
        if (tramesRestantes-- <= 0) {
            Information(QStringLiteral("Trop d'erreurs sur la ligne pour ce fichier : il attendra son tour."));
            return IssueEnvoi::Abandon;
        }
        QByteArray commande = T;
        QByteArray attendu = "OKFICHIER";
        if (T.size() >= taillePartie) {
            PartieGrosFichier = QStringLiteral("partie %1/%2 - ").arg(i).arg(P);
            const QByteArray partie = T.mid((i - 1) * taillePartie, taillePartie);
            commande = "RECEPGROSFIC" + QByteArray::number(i).rightJustified(3, '0') + QByteArray::number(P).rightJustified(3, '0')
                + MGlobal::CleDonnees(partie) + '\t' + partie;
            if (i < P)
                attendu = "OKPARTFIC";
        }
        QByteArray reponse;
        const bool recue = EnvoyerCommande(commande, attendu, qint32(commande.size() / 10 + 4000), &reponse, "ERREURPARTFIC");
        if (!*vivant)
            return IssueEnvoi::Fin;
        if (recue) {
            NbreErreurs = 0;
            refus = 0;
            ++i;
            continue;
        }
        // Once the carrier is gone, the modem would read any more data as commands; a hang-up
        // inside the wait (too many line errors) leaves no line either.
        if (etatLigne() != mLigneAuDebutEnvoi)
            return IssueEnvoi::LignePerdue;
        if (reponse.isEmpty())
            return IssueEnvoi::Inconnue;
        // Refused: the receiver did not store it, so sending it again is safe with any station.
        if (++refus > refusParPartieMax) {
            Information(QStringLiteral("Le poste distant n'a pas reçu sa part de fichier %1 / %2").arg(i).arg(P));
            return IssueEnvoi::Abandon;
        }
        Information(QStringLiteral("Nouvelle tentative sur le paquet %1 / %2").arg(i).arg(P));
    }
    return IssueEnvoi::Livre;
}

std::pair<quint32, quint32> CInterlocuteur::etatLigne() const
{
    return {FrmComm ? FrmComm->PertesPorteuse() : ~0u, mDeconnexions};
}

bool CInterlocuteur::mettreDeCote(const QString &fichier, const QString &raison)
{
    // Too big for the part numbering, or a name the line cannot carry: sending would fail
    // forever. The file goes aside, out of the scanner's reach, and the user is told.
    const QString dossier = QFileInfo(fichier).absolutePath() + QStringLiteral("/Refusés");
    QDir().mkpath(dossier);
    const QString cible = nomLibre(dossier, QFileInfo(fichier).fileName());
    if (!QFile::rename(fichier, cible)) {
        Information(QStringLiteral("Le fichier %1 ne peut pas être envoyé (%2), et il ne peut pas être mis de côté dans %3.")
                        .arg(fichier, raison, dossier));
        return false;
    }
    Information(QStringLiteral("Le fichier %1 ne peut pas être envoyé (%2) : il est mis de côté sous %3.").arg(fichier, raison, cible));
    msFichierMisDeCote = cible;
    return true;
}

void CInterlocuteur::abandonnerReception()
{
    msGrosFichier = QByteArray();
    mDernierePartieRecue = 0;
}

QString CInterlocuteur::horodatage() const
{
    return mContexte.env.plateforme.maintenant().toString(QStringLiteral("ddMMyy HHmmss"));
}

QString CInterlocuteur::nomHorodate(const QString &dossier, const QString &nom, const QString &suffixe)
{
    QString cible;
    for (int essai = 1;; ++essai) {
        // The stamp changes with the clock; after a few tries a counter settles it.
        const QString stamp = horodatage() + (essai > 8 ? QStringLiteral(" (%1)").arg(essai) : QString());
        cible = QDir(dossier).filePath(nom.isEmpty() ? stamp + suffixe : stamp + QLatin1Char(' ') + nom + suffixe);
        if (!QFileInfo::exists(cible))
            return cible;
        mContexte.env.plateforme.pomper(250);
    }
}

QString CInterlocuteur::nomLibre(const QString &dossier, const QString &nom)
{
    const QString cible = QDir(dossier).filePath(nom);
    return QFileInfo::exists(cible) ? nomHorodate(dossier, nom) : cible;
}

QString CInterlocuteur::dossierReception()
{
    if (!CheminFichiersRecus.trimmed().isEmpty())
        return CheminFichiersRecus;
    // No incoming folder configured: the file must still land somewhere of ours.
    const QString dossier = mContexte.dossierProgramme + QStringLiteral("/Reçus");
    QDir().mkpath(dossier);
    return dossier;
}

bool CInterlocuteur::RecevoirPartie(const QByteArray &Texte, bool &Complet, bool &Doublon)
{
    Complet = false;
    Doublon = false;
    bool okI = false, okP = false;
    const qint32 i = nombre3(Texte.left(3), okI);
    const qint32 P = nombre3(Texte.mid(3, 3), okP);
    if (okI && okP)
        PartieGrosFichier = QStringLiteral("partie %1/%2 - ").arg(i + 1).arg(P);
    const qsizetype tab = Texte.indexOf('\t', 6);
    if (!okI || !okP || i < 1 || i > P || tab < 0)
        return false; // an unreadable header is refused like a wrong key
    const QByteArray cle = Texte.mid(6, tab - 6);
    const QByteArray partie = Texte.mid(tab + 1);
    if (i == 1) {
        msGrosFichier.clear();
        mDernierePartieRecue = 0;
        mbGrosFichierRange = false;
    }
    // Parts are 1024 characters: a longer one would let a peer pile up memory.
    if (partie.size() > taillePartie || MGlobal::CleDonnees(partie) != cle)
        return false;
    Complet = i == P;
    if (i == mDernierePartieRecue) {
        Doublon = true; // its answer was lost and the sender sent it again
        return true;
    }
    if (i != mDernierePartieRecue + 1)
        return false; // a part is missing: appending would corrupt the file
    msGrosFichier += partie;
    mDernierePartieRecue = i;
    return true;
}

bool CInterlocuteur::RecevoirFichier(QByteArray &Texte)
{
    QString etape = QStringLiteral("Récupération des infos");
    QString cible;
    const auto vivant = mVivant;
    Plateforme &plateforme = mContexte.env.plateforme;

    // What was received survives in an error file, when that at least can be written.
    const auto echec = [&](const QString &description) {
        if (!*vivant)
            return false;
        Information(cible + QStringLiteral(" : erreur ") + description);
        Information(QStringLiteral("Etape : ") + etape);
        const QString chemin = nomHorodate(dossierReception(), QString(), QStringLiteral(".Err"));
        QSaveFile erreur(chemin);
        const QByteArray contenu = Texte + "\n";
        if (erreur.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && erreur.write(contenu) == contenu.size() && erreur.commit()) {
            Information(QStringLiteral("Contenu reçu gardé dans ") + chemin);
            return true;
        }
        if (*vivant)
            Information(QStringLiteral("Le fichier reçu ne peut pas être gardé, même dans %1 : %2. Il n'est pas acquitté, le poste "
                                       "distant le garde.")
                            .arg(chemin, erreur.errorString()));
        return false;
    };

    if (Texte.isEmpty())
        return echec(QStringLiteral("texte vide"));
    const int N = static_cast<unsigned char>(Texte[0]);
    if (N == 0 || N + 1 > Texte.size())
        return echec(QStringLiteral("longueur de nom illisible"));
    if (nomAbime(Texte.mid(1, N), Texte.mid(N + 1))) {
        Information(QStringLiteral("Nom de fichier reçu abîmé : le fichier n'est pas acquitté, le poste distant le renverra."));
        return false;
    }
    const QString nomRecu = Windows1252::versTexte(Texte.mid(1, N)).toUpper();
    const QString nom = Dezipper::nomSur(nomRecu);
    if (nom != nomRecu)
        Information(QStringLiteral("Nom reçu « %1 » remplacé par « %2 »").arg(nomRecu, nom));
    Texte = Texte.mid(N + 1);
    etape = QStringLiteral("Fichier ") + nom;
    const QString dossier = dossierReception();
    const bool archive = nom.endsWith(extensionArchive);
    const QString travail = dossier + QStringLiteral("/UNZIP");

    if (archive) {
        if (!mDecompression) {
            etape = QStringLiteral("Création Dézipper");
            mDecompression = std::make_unique<Dezipper>();
            etape = QStringLiteral("Initialisation Dézipper");
            mDecompression->Preparer();
        }
        etape = QStringLiteral("Crée le sous-répertoire ") + travail;
        if (!QFileInfo(travail).isDir() && !QDir().mkpath(travail))
            return echec(QStringLiteral("dossier impossible à créer"));
        plateforme.pomper();
        mDecompression->setDossierExtraction(travail);
        cible = travail + QLatin1Char('/') + nom;
        mDecompression->setNomArchive(cible);
        plateforme.pomper();
    } else {
        cible = dossier + QLatin1Char('/') + nom;
        etape = QStringLiteral("Cherche un fichier identique ") + cible;
        if (QFileInfo::exists(cible)) {
            etape = QStringLiteral("Cherche un nom de fichier ") + cible;
            cible = nomHorodate(dossier, nom);
        }
    }
    if (!*vivant)
        return false;

    etape = QStringLiteral("Ouvre le fichier ") + cible;
    {
        QSaveFile sortie(cible);
        if (!sortie.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || sortie.write(Texte) != Texte.size() || !sortie.commit())
            return echec(sortie.errorString());
    }
    etape = QStringLiteral("Fichier fermé");

    if (archive) {
        etape = QStringLiteral("Dézippage");
        QString raison;
        mDecompression->Decompresser(raison);
        if (!raison.isEmpty()) {
            // Damaged on the way, or no room to open it: unacknowledged, the sender keeps its copy.
            garderArchiveAbimee(cible, raison);
            return false;
        } else {
            etape = QStringLiteral("Supprime le ZIP ") + mDecompression->NomArchive();
            QFile::remove(mDecompression->NomArchive());
            etape = QStringLiteral("Copie le fichier dans le répertoire de download");
            const QString nomFichier = nom.left(nom.size() - extensionArchive.size());
            cible = dossier + QLatin1Char('/') + nomFichier;
            etape = QStringLiteral("Copie du fichier dézippé : cherche un identique");
            if (QFileInfo::exists(cible)) {
                etape = QStringLiteral("Copie du fichier dézippé : cherche un nouveau nom");
                cible = nomHorodate(dossier, nomFichier);
            }
            const QString extrait = mDecompression->FichierExtrait();
            etape = QStringLiteral("Duplique le fichier ") + extrait + QStringLiteral(" en ") + cible;
            if (!QFile::rename(extrait, cible))
                return echec(QStringLiteral("déplacement impossible"));
        }
    }
    FichierReçu(cible);
    if (*vivant)
        Information(QStringLiteral("Fichier réceptionné"));
    return true;
}

bool CInterlocuteur::nomAbime(const QByteArray &nom, const QByteArray &donnees)
{
    // No sender puts a control character in a name: its length byte was hit, and the name
    // took in the archive's first bytes.
    if (std::any_of(nom.begin(), nom.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        return true;
    // An archive whose ".ZQZIP" lost a letter, or whose name ends inside the data: its
    // length byte became smaller.
    const QByteArray extension = extensionArchive.toLatin1();
    const qsizetype archive = donnees.indexOf("PK\x03\x04");
    if (archive < 0 || archive > 255 || nom.toUpper().endsWith(extension))
        return false;
    if (archive > 0)
        return (nom + donnees.left(archive)).toUpper().endsWith(extension);
    const QByteArray fin = nom.right(extension.size()).toUpper();
    int differences = 0;
    for (qsizetype i = 0; i < fin.size(); ++i)
        differences += fin[i] != extension[i];
    return fin.size() == extension.size() && differences == 1;
}

void CInterlocuteur::garderArchiveAbimee(const QString &archive, const QString &raison)
{
    // Kept for diagnosis, away from the folders the user reads, and never more than a few.
    constexpr int nombreMax = 10;
    constexpr qint64 tailleMax = 8 * 1024 * 1024;
    const QString dossier = dossierTravail() + QStringLiteral("/Abîmés");
    QDir().mkpath(dossier);
    QString copie = nomHorodate(dossier, QFileInfo(archive).fileName());
    if (QFileInfo(archive).size() > tailleMax || !QFile::rename(archive, copie)) {
        QFile::remove(archive);
        copie.clear();
    }
    const QFileInfoList gardees = QDir(dossier).entryInfoList(QDir::Files, QDir::Time); // newest first
    qint64 total = 0;
    for (int i = 0; i < gardees.size(); ++i) {
        total += gardees[i].size();
        if (i >= nombreMax || total > tailleMax)
            QFile::remove(gardees[i].filePath());
    }
    Information(QStringLiteral("Archive %1 reçue mais illisible ici (%2) : elle n'est pas acquittée, le poste distant la renverra.%3")
                    .arg(QFileInfo(archive).fileName(), raison,
                         copie.isEmpty() ? QString() : QStringLiteral(" Copie gardée sous ") + copie));
}

QByteArray CInterlocuteur::empreinteReception(const QByteArray &texte)
{
    return QCryptographicHash::hash(texte, QCryptographicHash::Sha256) + QByteArray::number(texte.size());
}

bool CInterlocuteur::dejaRecu(const QByteArray &empreinte)
{
    // A sender that lost our "OKFICHIER" sends the file again; an hour covers its retries.
    constexpr quint32 memoireMs = 3600 * 1000;
    Plateforme &plateforme = mContexte.env.plateforme;
    std::erase_if(mRecusRecemment, [&](const RecuRecemment &r) { return plateforme.ecouleDepuis(r.tick) > memoireMs; });
    return std::any_of(mRecusRecemment.begin(), mRecusRecemment.end(), [&](const RecuRecemment &r) { return r.empreinte == empreinte; });
}

void CInterlocuteur::retenirRecu(const QByteArray &empreinte)
{
    constexpr qsizetype nombreMax = 64;
    mRecusRecemment.push_back({empreinte, mContexte.env.plateforme.tickMs()});
    if (mRecusRecemment.size() > nombreMax)
        mRecusRecemment.erase(mRecusRecemment.begin());
}

void CInterlocuteur::FrmComm_ProgressRecept(qint32 Recu, qint32 Attendu)
{
    if (mContexte.env.plateforme.ecouleDepuis(mlDernierEchange) > 5000) {
        if (Recu < Attendu)
            armer(GenreSupervision::Reception);
        else
            armer(GenreSupervision::Surveillance, true);
    }
    ProgressRecept(Recu, Attendu);
}
