#include "platform/Zipper.h"
#include "platform/Dezipper.h"

#include <QFile>
#include <QFileInfo>

#include <zip.h>

namespace {
QString texteErreurZip(zip_error_t *erreur)
{
    return QString::fromLocal8Bit(zip_error_strerror(erreur));
}
}

QString Zipper::ecrire(const QString &chemin, int methode, qint64 longueur) const
{
    int code = 0;
    zip_t *archive = zip_open(QFile::encodeName(chemin).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive) {
        zip_error_t erreur;
        zip_error_init_with_code(&erreur, code);
        const QString texte = texteErreurZip(&erreur);
        zip_error_fini(&erreur);
        return texte;
    }
    for (const QString &fichier : mFichiers) {
        zip_source_t *source = zip_source_file(archive, QFile::encodeName(fichier).constData(), 0, longueur);
        const QByteArray nom = QFileInfo(fichier).fileName().toUtf8();
        const zip_int64_t index = source ? zip_file_add(archive, nom.constData(), source, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            if (source)
                zip_source_free(source);
            const QString texte = texteErreurZip(zip_get_error(archive));
            zip_discard(archive);
            return texte;
        }
        zip_set_file_compression(archive, zip_uint64_t(index), methode, methode == ZIP_CM_STORE ? 0 : 9);
    }
    if (zip_close(archive) != 0) {
        const QString texte = texteErreurZip(zip_get_error(archive));
        zip_discard(archive);
        return texte;
    }
    return {};
}

bool Zipper::Compresser(QString *raison)
{
    QString pourquoi;
    creer(pourquoi);
    if (raison)
        *raison = pourquoi;
    return pourquoi.isEmpty();
}

QList<int> Zipper::methodesAEssayer(qint64 tailleOriginale) const
{
    QList<int> methodes{ZIP_CM_DEFLATE};
    if (mReglage == 0 && zip_compression_method_supported(ZIP_CM_BZIP2, 1))
        methodes.prepend(ZIP_CM_BZIP2);
    methodes.append(ZIP_CM_STORE);
    // Trying every method on a file of 100 MB would hold the station's one thread for a
    // quarter of a minute: above what the old protocol carries, they are tried on the file's
    // start, and the whole goes once, at the best of them.
    constexpr qint64 echantillon = 4 * 1024 * 1024;
    if (tailleOriginale <= Dezipper::tailleMaxExtraite || mFichiers.size() != 1)
        return methodes;
    int choisie = ZIP_CM_STORE;
    qint64 plusPetite = echantillon;
    for (const int methode : std::as_const(methodes)) {
        const QString essai = mNomArchive + QStringLiteral(".echantillon");
        const qint64 taille = methode == ZIP_CM_STORE || !ecrire(essai, methode, echantillon).isEmpty() ? -1 : QFileInfo(essai).size();
        QFile::remove(essai);
        if (taille > 0 && taille < plusPetite && echantillon <= Dezipper::rapportMaxExtraction * taille) {
            choisie = methode;
            plusPetite = taille;
        }
    }
    return choisie == ZIP_CM_STORE ? QList<int>{ZIP_CM_STORE} : QList<int>{choisie, ZIP_CM_STORE};
}

void Zipper::creer(QString &raison)
{
    if (mNomArchive.isEmpty()) {
        raison = QStringLiteral("Aucun nom d'archive n'est donné.");
        return;
    }
    if (mFichiers.isEmpty()) {
        raison = QStringLiteral("Aucun fichier à mettre dans l'archive.");
        return;
    }
    qint64 tailleOriginale = 0;
    for (const QString &fichier : std::as_const(mFichiers)) {
        const QFileInfo info(fichier);
        if (!info.isFile()) {
            raison = QStringLiteral("Fichier introuvable : %1").arg(fichier);
            return;
        }
        tailleOriginale += info.size();
    }

    const QList<int> methodes = methodesAEssayer(tailleOriginale);
    QString meilleur;
    qint64 meilleureTaille = -1;
    for (int i = 0; i < methodes.size(); ++i) {
        const int methode = methodes[i];
        if (methode == ZIP_CM_STORE && meilleureTaille >= 0 && meilleureTaille < tailleOriginale)
            break; // something already shrinks it
        const QString essai = mNomArchive + QStringLiteral(".essai%1").arg(i);
        const QString erreur = ecrire(essai, methode);
        if (!erreur.isEmpty()) {
            QFile::remove(essai);
            raison = QStringLiteral("Création de l'archive %1 impossible : %2").arg(mNomArchive, erreur);
            continue;
        }
        const qint64 taille = QFileInfo(essai).size();
        // Our receivers refuse, unread, an archive that would grow past this: it would look like a bomb.
        const bool acceptee = tailleOriginale <= Dezipper::plafondExtraction(taille);
        if (acceptee && (meilleureTaille < 0 || taille < meilleureTaille)) {
            if (!meilleur.isEmpty())
                QFile::remove(meilleur);
            meilleur = essai;
            meilleureTaille = taille;
        } else {
            QFile::remove(essai);
        }
    }
    if (meilleur.isEmpty())
        return; // raison says why
    QFile::remove(mNomArchive);
    if (!QFile::rename(meilleur, mNomArchive)) {
        QFile::remove(meilleur);
        raison = QStringLiteral("Création de l'archive %1 impossible : le fichier ne peut pas être mis en place.").arg(mNomArchive);
        return;
    }
    raison.clear();
}
