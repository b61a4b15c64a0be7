#include "link/RangementFichier.h"

#include "link/CanalLiaison.h"
#include "link/DossiersPoste.h"
#include "serial/ParametresStation.h"
#include "link/shared/MGlobal.h"
#include "platform/Dezipper.h"
#include "platform/Disque.h"
#include "platform/Windows1252.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <cerrno>

const QString RangementFichier::extensionArchive = QStringLiteral(".ZQZIP");

RangementFichier::RangementFichier(CanalLiaison &canal) : mCanal(canal) {}

RangementFichier::~RangementFichier() = default;

void RangementFichier::fermer()
{
    if (mDecompression)
        mDecompression->Fermer();
    mDecompression.reset();
}

bool RangementFichier::echec(const Stockage &s, const QString &description)
{
    mCanal.informer(s.cible + QStringLiteral(" : erreur ") + description);
    mCanal.informer(QStringLiteral("Etape : ") + s.etape);
    const DossiersPoste dossiers = mCanal.dossiers();
    const std::optional<QString> chemin =
        mCanal.mener([&] { return dossiers.nomHorodate(dossiers.reception(), QString(), QStringLiteral(".Err")); });
    if (!chemin)
        return false;
    Disque &disque = mCanal.disque();
    ErreurDisque erreur;
    if (s.source.isEmpty() ? disque.ecrire(*chemin, s.texte + "\n", erreur) : disque.placer(s.source, *chemin, erreur)) {
        mCanal.informer(QStringLiteral("Contenu reçu gardé dans ") + *chemin);
        return true;
    }
    mCanal.informer(QStringLiteral("Le fichier reçu ne peut pas être gardé, même dans %1 : %2. Il n'est pas acquitté, le "
                                          "poste distant le garde.")
                               .arg(*chemin, erreur.texte));
    return false;
}

void RangementFichier::refusParLeDisque(const QString &nom, const ErreurDisque &erreur)
{
    // Nothing of the file stays and nothing is acknowledged: the sender keeps it and sends it
    // again at its next try, which goes through once the disk allows. Said once, not at
    // every try while the disk stays full.
    if (mPanneDite != erreur.code) {
        mPanneDite = erreur.code;
        mCanal.informer(QStringLiteral("%1. Fichier %2 non acquitté : le poste distant le garde et le renverra quand le disque le "
                                       "permettra.")
                            .arg(erreur.texte, nom));
    }
}

RangementFichier::Nom RangementFichier::lireNom(Stockage &s, QByteArray &Texte)
{
    const int N = static_cast<unsigned char>(Texte[0]);
    if (N == 0 || N + 1 > Texte.size())
        return Nom::Illisible;
    if (nomAbime(Texte.mid(1, N), Texte.mid(N + 1))) {
        mCanal.informer(QStringLiteral("Nom de fichier reçu abîmé : le fichier n'est pas acquitté, le poste distant le renverra."));
        return Nom::Abime;
    }
    nommer(s, Texte.mid(1, N));
    Texte = Texte.mid(N + 1);
    s.texte = Texte;
    return Nom::Lu;
}

void RangementFichier::nommer(Stockage &s, const QByteArray &nom)
{
    const QString nomRecu = Windows1252::versTexte(nom).toUpper();
    s.nom = Dezipper::nomSur(nomRecu);
    if (s.nom != nomRecu)
        mCanal.informer(QStringLiteral("Nom reçu « %1 » remplacé par « %2 »").arg(MGlobal::TexteDistant(nomRecu, 255), s.nom));
    s.etape = QStringLiteral("Fichier ") + s.nom;
    s.archive = s.nom.endsWith(extensionArchive);
}

RangementFichier::Suite RangementFichier::choisirCible(Stockage &s, const QString &dossier)
{
    if (!s.archive) {
        s.cible = dossier + QLatin1Char('/') + s.nom;
        s.etape = QStringLiteral("Cherche un fichier identique ") + s.cible;
        if (DossiersPoste::nomPris(s.cible)) {
            s.etape = QStringLiteral("Cherche un nom de fichier ") + s.cible;
            if (!nommerHorodate(s, dossier, s.nom))
                return Suite::NePasAcquitter;
        }
        return Suite::Continuer;
    }
    // Away from the incoming folder, where a received name could stand in the way.
    const QString travail = dossierExtraction();
    if (!mDecompression) {
        s.etape = QStringLiteral("Création Dézipper");
        mDecompression = std::make_unique<Dezipper>(mCanal.disque());
        s.etape = QStringLiteral("Initialisation Dézipper");
        mDecompression->Preparer();
        mDecompression->reserve = [this](const QString &d, qint64 t) { return manqueDePlace(d, t).value_or(QString()); };
    }
    s.etape = QStringLiteral("Crée le sous-répertoire ") + travail;
    if (!QFileInfo(travail).isDir() && !QDir().mkpath(travail))
        return arret(echec(s, QStringLiteral("dossier impossible à créer")));
    if (!mCanal.pause(0, Portee::Etape))
        return Suite::NePasAcquitter;
    mDecompression->setDossierExtraction(travail);
    s.cible = mCanal.dossiers().nomLibre(travail, s.nom);
    mDecompression->setNomArchive(s.cible);
    return mCanal.pause(0, Portee::Etape) ? Suite::Continuer : Suite::NePasAcquitter;
}

bool RangementFichier::recevoirFichier(QByteArray &Texte)
{
    Stockage s{Texte, {}, QStringLiteral("Récupération des infos"), {}, false, {}};
    if (Texte.isEmpty())
        return echec(s, QStringLiteral("texte vide"));
    switch (lireNom(s, Texte)) {
    case Nom::Illisible: return echec(s, QStringLiteral("longueur de nom illisible"));
    case Nom::Abime: return false;
    case Nom::Lu: break;
    }
    return ranger(s);
}

bool RangementFichier::recevoirFichierDepuis(const QByteArray &nom, const QString &source)
{
    Stockage s{{}, {}, QStringLiteral("Récupération des infos"), {}, false, source};
    nommer(s, nom);
    return ranger(s);
}

bool RangementFichier::ranger(Stockage &s)
{
    const QString dossier = mCanal.dossiers().reception();
    if (const Suite suite = choisirCible(s, dossier); suite != Suite::Continuer)
        return suite == Suite::Acquitter;
    s.etape = QStringLiteral("Ouvre le fichier ") + s.cible;
    const qint64 taille = s.source.isEmpty() ? s.texte.size() : QFileInfo(s.source).size();
    if (const auto manque = manqueDePlace(QFileInfo(s.cible).absolutePath(), taille)) {
        // Not stored and not acknowledged: the sender keeps the file for later.
        mCanal.informer(QStringLiteral("Fichier %1 refusé : %2.").arg(s.nom, *manque));
        return false;
    }
    ErreurDisque erreur;
    const auto place = mettreEnPlace(s, s.source, s.archive ? QString() : dossier, s.nom, erreur);
    if (!place)
        return false;
    if (!*place)
        return erreur.duDisque() ? echecDuDisque(s, erreur) : echec(s, erreur.texte);
    s.source.clear();
    s.etape = QStringLiteral("Fichier fermé");
    if (s.archive) {
        if (const Suite suite = deballer(s, dossier); suite != Suite::Continuer)
            return suite == Suite::Acquitter;
    }
    mPanneDite = 0;
    mCanal.fichierRecu(s.cible);
    mCanal.informer(QStringLiteral("Fichier réceptionné"));
    return true;
}

std::optional<bool> RangementFichier::mettreEnPlace(Stockage &s, const QString &source, const QString &dossier, const QString &nom,
                                                   ErreurDisque &erreur)
{
    Disque &disque = mCanal.disque();
    for (int essai = 0;; ++essai) {
        if (source.isEmpty() ? disque.ecrire(s.cible, s.texte, erreur) : disque.placer(source, s.cible, erreur))
            return true;
        // Taken by another program since it was chosen: another name.
        if (erreur.code != EEXIST || dossier.isEmpty() || essai == 2)
            return false;
        if (!nommerHorodate(s, dossier, nom))
            return std::nullopt;
    }
}

RangementFichier::Suite RangementFichier::deballer(Stockage &s, const QString &dossier)
{
    s.etape = QStringLiteral("Dézippage");
    QString raison;
    mDecompression->Decompresser(&raison);
    if (const ErreurDisque &panne = mDecompression->panne(); panne.duDisque()) {
        QFile::remove(mDecompression->NomArchive());
        return arret(echecDuDisque(s, panne));
    }
    if (!raison.isEmpty()) {
        // Damaged on the way, or no room to open it: unacknowledged, the sender keeps its copy.
        garderArchiveAbimee(s.cible, raison);
        return Suite::NePasAcquitter;
    }
    s.etape = QStringLiteral("Supprime le ZIP ") + mDecompression->NomArchive();
    QFile::remove(mDecompression->NomArchive());
    s.etape = QStringLiteral("Copie le fichier dans le répertoire de download");
    const QString nomFichier = s.nom.left(s.nom.size() - extensionArchive.size());
    s.cible = dossier + QLatin1Char('/') + nomFichier;
    s.etape = QStringLiteral("Copie du fichier dézippé : cherche un identique");
    if (DossiersPoste::nomPris(s.cible)) {
        s.etape = QStringLiteral("Copie du fichier dézippé : cherche un nouveau nom");
        if (!nommerHorodate(s, dossier, nomFichier))
            return Suite::NePasAcquitter;
    }
    const QString extrait = mDecompression->FichierExtrait();
    s.etape = QStringLiteral("Duplique le fichier ") + extrait + QStringLiteral(" en ") + s.cible;
    ErreurDisque erreur;
    const auto place = mettreEnPlace(s, extrait, dossier, nomFichier, erreur);
    if (!place)
        return Suite::NePasAcquitter;
    if (!*place) {
        if (erreur.duDisque()) {
            QFile::remove(extrait);
            return arret(echecDuDisque(s, erreur));
        }
        s.source = extrait;
        return arret(echec(s, erreur.texte));
    }
    return Suite::Continuer;
}

bool RangementFichier::nomAbime(const QByteArray &nom, const QByteArray &donnees)
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

void RangementFichier::garderArchiveAbimee(const QString &archive, const QString &raison)
{
    // Kept for diagnosis, away from the folders the user reads, and never more than a few.
    constexpr int nombreMax = 10;
    constexpr qint64 tailleMax = 8 * 1024 * 1024;
    const QString dossier = mCanal.dossiers().travail() + QStringLiteral("/Abîmés");
    QDir().mkpath(dossier);
    QString copie = mCanal.dossiers().nomHorodate(dossier, QFileInfo(archive).fileName());
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
    mCanal.informer(QStringLiteral("Archive %1 reçue mais illisible ici (%2) : elle n'est pas acquittée, le poste distant la "
                                      "renverra.%3")
                           .arg(QFileInfo(archive).fileName(), raison,
                                copie.isEmpty() ? QString() : QStringLiteral(" Copie gardée sous ") + copie));
}

QByteArray RangementFichier::empreinte(const QByteArray &texte)
{
    return QCryptographicHash::hash(texte, QCryptographicHash::Sha256) + QByteArray::number(texte.size());
}

QString RangementFichier::cheminMemoire() const
{
    return mCanal.dossiers().travail() + QStringLiteral("/Mémoire/recus");
}

void RangementFichier::chargerMemoire()
{
    if (std::exchange(mMemoireChargee, true))
        return;
    QFile f(cheminMemoire());
    if (!f.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &ligne : f.readAll().split('\n')) {
        const QList<QByteArray> champs = ligne.split(' ');
        bool ok = false;
        const qint64 date = champs.size() == 2 ? champs[1].toLongLong(&ok) : 0;
        if (ok)
            mRecusRecemment.push_back({QByteArray::fromHex(champs[0]), date});
    }
}

bool RangementFichier::dejaRecu(const QByteArray &empreinte)
{
    // A sender that lost our "OKFICHIER" sends the file again, maybe after our restart; an
    // hour covers its retries. A clock set back keeps an entry no longer than that either.
    constexpr qint64 memoireS = 3600;
    chargerMemoire();
    const qint64 maintenant = mCanal.maintenant().toSecsSinceEpoch();
    std::erase_if(mRecusRecemment, [&](const RecuRecemment &r) { return std::abs(maintenant - r.date) > memoireS; });
    return std::any_of(mRecusRecemment.begin(), mRecusRecemment.end(), [&](const RecuRecemment &r) { return r.empreinte == empreinte; });
}

void RangementFichier::retenir(const QByteArray &empreinte)
{
    constexpr qsizetype nombreMax = 64;
    chargerMemoire();
    mRecusRecemment.push_back({empreinte, mCanal.maintenant().toSecsSinceEpoch()});
    if (mRecusRecemment.size() > nombreMax)
        mRecusRecemment.erase(mRecusRecemment.begin());
    // On disk before the acknowledgement, so that a restart does not store the file twice.
    QByteArray texte;
    for (const RecuRecemment &r : mRecusRecemment)
        texte += r.empreinte.toHex() + ' ' + QByteArray::number(r.date) + '\n';
    const QString chemin = cheminMemoire();
    QDir().mkpath(QFileInfo(chemin).absolutePath());
    ErreurDisque erreur;
    if (!mCanal.disque().remplacer(chemin, texte, erreur))
        mCanal.informer(QStringLiteral("Mémoire des fichiers reçus non enregistrée (%1) : après un redémarrage, un fichier "
                                          "renvoyé pourrait être rangé deux fois.")
                               .arg(erreur.texte));
}

std::optional<QString> RangementFichier::manqueDePlace(const QString &dossier, qint64 taille) const
{
    constexpr qint64 mo = 1024 * 1024;
    const QStorageInfo disque(dossier);
    if (!disque.isValid() || disque.bytesAvailable() < 0)
        return std::nullopt;
    const qint64 reserve = mCanal.parametres().EspaceLibreMin ? *mCanal.parametres().EspaceLibreMin * mo : std::min(256 * mo, disque.bytesTotal() / 20);
    if (disque.bytesAvailable() - taille >= reserve)
        return std::nullopt;
    return QStringLiteral("%1 octets à recevoir, %2 libres sur le disque de %3, dont %4 Mio gardés en réserve (EspaceLibreMin)")
        .arg(taille)
        .arg(disque.bytesAvailable())
        .arg(dossier)
        .arg(reserve / mo);
}

QString RangementFichier::dossierExtraction() const
{
    return mCanal.dossiers().travail() + QStringLiteral("/Extraction");
}

void RangementFichier::nettoyerRestes()
{
    // Not acknowledged: the sender still holds each of these files and sends it again.
    int restes = 0;
    const auto vider = [&](const QString &chemin, bool seulementLesNotres) {
        QDir d(chemin);
        for (const QString &nom : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
            if (!seulementLesNotres || Disque::nomProvisoire(nom))
                restes += d.remove(nom);
    };
    vider(dossierExtraction(), false);
    // No received file lands in a folder below the incoming one: what is in UNZIP, where
    // older stations opened their archives, is theirs.
    const QString reception = mCanal.dossiers().reception();
    vider(reception + QStringLiteral("/UNZIP"), false);
    QDir().rmdir(reception + QStringLiteral("/UNZIP"));
    // Beside received files, only the names no received file can have go.
    vider(reception, true);
    if (restes > 0)
        mCanal.informer(QStringLiteral("Restes d'une réception interrompue supprimés au démarrage : %1 fichier(s) ; le poste "
                                          "distant renverra ce qu'il n'a pas vu acquitté.")
                               .arg(restes));
}

bool RangementFichier::nommerHorodate(Stockage &s, const QString &dossier, const QString &nom)
{
    const std::optional<QString> cible = mCanal.mener([&] { return mCanal.dossiers().nomHorodate(dossier, nom); });
    if (cible)
        s.cible = *cible;
    return cible.has_value();
}
