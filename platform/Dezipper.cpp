#include "platform/Dezipper.h"

#include "platform/FichierDisque.h"

#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QStorageInfo>

#include <limits>

#include <zip.h>

QString Dezipper::nomSur(const QString &nom)
{
    QString sur = nom;
    const int separateur = int(std::max(sur.lastIndexOf(QLatin1Char('/')), sur.lastIndexOf(QLatin1Char('\\'))));
    sur = sur.mid(separateur + 1);
    if (sur.size() >= 2 && sur[1] == QLatin1Char(':'))
        sur = sur.mid(2); // a drive letter
    QString propre;
    for (const QChar c : std::as_const(sur))
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F && c != QLatin1Char(':'))
            propre.append(c);
    propre = propre.trimmed();
    if (propre.isEmpty() || propre == QLatin1String(".") || propre == QLatin1String(".."))
        propre = QStringLiteral("FICHIER SANS NOM");
    // Room for a date stamp in front, within the 255 bytes a file name may take.
    while (propre.toUtf8().size() > 220)
        propre.remove(0, 1);
    return propre;
}

bool Dezipper::Decompresser(QString *raison)
{
    mFichierExtrait.clear();
    mPanne = {};
    QString pourquoi;
    const bool ok = decompresser(pourquoi);
    if (raison)
        *raison = ok ? QString() : pourquoi;
    return ok;
}

bool Dezipper::decompresser(QString &raison)
{
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(mNomArchive).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!archive) {
        zip_error_t erreur;
        zip_error_init_with_code(&erreur, code);
        raison = QStringLiteral("Archive illisible : %1").arg(QString::fromLocal8Bit(zip_error_strerror(&erreur)));
        zip_error_fini(&erreur);
        return false;
    }
    const auto fermer = qScopeGuard([&] { zip_discard(archive); });
    zip_stat_t stat;
    zip_int64_t index = -1;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
        zip_stat_init(&stat);
        if (zip_stat_index(archive, zip_uint64_t(i), 0, &stat) == 0 && (stat.valid & ZIP_STAT_NAME)
            && !QByteArray(stat.name).endsWith('/')) {
            index = i;
            break;
        }
    }
    if (index < 0) {
        raison = QStringLiteral("L'archive ne contient aucun fichier.");
        return false;
    }
    if (!tailleAcceptee(stat, raison))
        return false;
    // Never the entry's own name: the archive names the file, and whatever stands in the work
    // folder (its own archive, a planted link) stays untouched.
    QString cible;
    zip_file_t *entree = zip_fopen_index(archive, zip_uint64_t(index), 0);
    if (!entree) {
        raison = QStringLiteral("Lecture de l'archive impossible : %1").arg(QString::fromLocal8Bit(zip_strerror(archive)));
        return false;
    }
    const bool ok = extraire(entree, qint64(stat.size), cible, raison);
    zip_fclose(entree);
    if (ok)
        mFichierExtrait = cible;
    return ok;
}

qint64 Dezipper::espaceLibreDuDisque(const QString &dossier)
{
    const QStorageInfo disque(dossier);
    return disque.isValid() ? disque.bytesAvailable() : std::numeric_limits<qint64>::max();
}

bool Dezipper::tailleAcceptee(const zip_stat_t &stat, QString &raison) const
{
    // A size of zero over a checksum that is not the empty file's: the size was left out
    // (written as a stream, or tampered with), and trusting it would deliver an empty file.
    const bool tailleOmise = (stat.valid & ZIP_STAT_CRC) && stat.size == 0 && stat.crc != 0;
    if (!(stat.valid & ZIP_STAT_SIZE) || tailleOmise) {
        raison = QStringLiteral("L'archive ne dit pas la taille de son fichier : elle est refusée.");
        return false;
    }
    if (const qint64 plafond = plafondExtraction(QFileInfo(mNomArchive).size()); qint64(stat.size) > plafond) {
        raison = QStringLiteral("L'archive annonce un fichier de %1 octets ; %2 au plus sont acceptés.").arg(stat.size).arg(plafond);
        return false;
    }
    if (qint64(stat.size) > espaceLibre(mDossierExtraction)) {
        raison = QStringLiteral("Place insuffisante pour décompresser %1 octets dans %2.").arg(stat.size).arg(mDossierExtraction);
        return false;
    }
    if (const QString manque = reserve ? reserve(mDossierExtraction, qint64(stat.size)) : QString(); !manque.isEmpty()) {
        raison = manque;
        return false;
    }
    return true;
}

bool Dezipper::extraire(zip_file_t *entree, qint64 taille, QString &cible, QString &raison)
{
    FichierDisque sortie(mDisque);
    const auto refus = [&](const ErreurDisque &erreur) {
        mPanne = erreur;
        raison = QStringLiteral("Écriture dans %1 impossible : %2").arg(mDossierExtraction, erreur.texte);
        return false;
    };
    ErreurDisque erreur;
    if (!sortie.creerProvisoire(mDossierExtraction, erreur))
        return refus(erreur);
    qint64 total = 0;
    QByteArray bloc(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const zip_int64_t lus = zip_fread(entree, bloc.data(), zip_uint64_t(bloc.size()));
        if (lus < 0) {
            raison = QStringLiteral("Archive abîmée : %1").arg(QString::fromLocal8Bit(zip_file_strerror(entree)));
            return false;
        }
        if (lus == 0)
            break;
        // A header that lies about the size must not let the file grow without end.
        total += lus;
        if (total > taille) {
            raison = QStringLiteral("L'archive contient plus que les %1 octets qu'elle annonce : elle est refusée.").arg(taille);
            return false;
        }
        if (!sortie.ecrire(bloc.constData(), lus, -1, erreur))
            return refus(erreur);
    }
    if (total < taille) {
        raison = QStringLiteral("L'archive contient moins que les %1 octets qu'elle annonce : elle est refusée.").arg(taille);
        return false;
    }
    if (!sortie.fermer(erreur))
        return refus(erreur);
    sortie.garder();
    cible = sortie.chemin();
    return true;
}
