#include "platform/Disque.h"

#include "platform/FichierDisque.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ErreurDisque ErreurDisque::de(int code, const QString &chemin)
{
    const QString systeme = QString::fromLocal8Bit(std::strerror(code));
    switch (code) {
    case ENOSPC: return {code, QStringLiteral("Disque plein : %1 (%2)").arg(chemin, systeme)};
    case EDQUOT: return {code, QStringLiteral("Disque plein pour cet utilisateur (quota atteint) : %1 (%2)").arg(chemin, systeme)};
    case EFBIG: return {code, QStringLiteral("Fichier trop grand pour ce disque ou pour la limite de taille du poste : %1 (%2)").arg(chemin, systeme)};
    case EIO: return {code, QStringLiteral("Erreur d'entrée-sortie du disque : %1 (%2)").arg(chemin, systeme)};
    default: return {code, QStringLiteral("%1 : %2").arg(chemin, systeme)};
    }
}

bool ErreurDisque::duDisque() const
{
    return code == ENOSPC || code == EDQUOT || code == EFBIG || code == EIO;
}

bool Disque::ouvrirSansLien(QFile &fichier, const QString &chemin, QIODevice::OpenMode mode, QString &erreur)
{
    const bool ecriture = mode & QIODevice::WriteOnly;
    int drapeaux = O_CLOEXEC | O_NOFOLLOW | (ecriture ? O_CREAT : 0);
    drapeaux |= (mode & QIODevice::ReadOnly) && ecriture ? O_RDWR : ecriture ? O_WRONLY : O_RDONLY;
    if (mode & QIODevice::Truncate)
        drapeaux |= O_TRUNC;
    if (mode & QIODevice::Append)
        drapeaux |= O_APPEND;
    const int fd = ::open(QFile::encodeName(chemin).constData(), drapeaux, 0600);
    if (fd < 0) {
        erreur = QStringLiteral("%1 : %2").arg(chemin, errno == ELOOP ? QStringLiteral("c'est un lien symbolique, il n'est pas suivi")
                                                                       : QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!fichier.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        erreur = fichier.errorString();
        ::close(fd);
        return false;
    }
    return true;
}

bool Disque::nomProvisoire(const QString &nom)
{
    static const QRegularExpression motif(QStringLiteral("^\\.navette-[a-z0-9]{6}\\.tmp$"));
    return motif.match(nom).hasMatch();
}

void Disque::direUneFois(const QString &texte)
{
    // The text names the folder: each fallback said once for each.
    if (avis && !mDits.contains(texte)) {
        mDits.insert(texte);
        avis(texte);
    }
}

bool Disque::ecrireTout(int fd, const QString &chemin, const char *donnees, qint64 taille, qint64 position, ErreurDisque &erreur)
{
    while (taille > 0) {
        const qint64 ecrits = ecrireAuPlus(fd, donnees, taille, position);
        if (ecrits <= 0) {
            // Nothing written and no reason: the disk stopped taking data.
            erreur = ErreurDisque::de(ecrits < 0 ? int(-ecrits) : EIO, chemin);
            return false;
        }
        donnees += ecrits;
        taille -= ecrits;
        if (position >= 0)
            position += ecrits;
    }
    return true;
}

bool Disque::synchroniserChemin(const QString &chemin, ErreurDisque &erreur)
{
    FichierDisque f(*this);
    return f.ouvrir(chemin, O_RDONLY, erreur) && f.synchroniser(erreur) && f.fermer(erreur);
}

bool Disque::synchroniserDossier(const QString &dossier, ErreurDisque &erreur)
{
    FichierDisque f(*this);
    return f.ouvrir(dossier, O_RDONLY | O_DIRECTORY, erreur) && f.synchroniser(erreur) && f.fermer(erreur);
}

Disque::Renommage Disque::placerNom(const QString &source, const QString &cible, ErreurDisque &erreur)
{
    const QString dossier = QFileInfo(cible).absolutePath();
    int code = renommerSansRemplacer(source, cible);
    if (code == -EINVAL || code == -ENOSYS || code == -EOPNOTSUPP) {
        // A hard link is made only where the name is free, on every file system that has
        // links, NFS included: as safe, one call more.
        code = lier(source, cible);
        if (code == 0) {
            direUneFois(QStringLiteral("Le disque de %1 ne sait pas renommer sans remplacer : les fichiers y sont mis en place "
                                                "par un lien, aussi sûr.")
                                     .arg(dossier));
            supprimer(source);
            return Renommage::Fait;
        }
        if (code == -EPERM || code == -EOPNOTSUPP || code == -ENOSYS || code == -EMLINK) {
            // No links either (some SMB shares). Between the check and the rename, a file
            // dropped under the same name by another program would be replaced: the window is
            // this one call, and nothing of this station's can land there meanwhile.
            direUneFois(QStringLiteral("Le disque de %1 ne sait ni renommer sans remplacer ni faire de liens : les fichiers y "
                                                "sont mis en place après avoir vérifié que leur nom est libre.")
                                     .arg(dossier));
            struct stat etat{};
            if (::lstat(QFile::encodeName(cible).constData(), &etat) == 0)
                code = -EEXIST;
            else
                code = renommer(source, cible);
        }
    }
    if (code == 0)
        return Renommage::Fait;
    if (code == -EXDEV)
        return Renommage::AutreDisque;
    erreur = ErreurDisque::de(-code, cible);
    return Renommage::Echec;
}

bool Disque::ecrire(const QString &chemin, const QByteArray &contenu, ErreurDisque &erreur)
{
    FichierDisque f(*this);
    if (!f.creerProvisoire(QFileInfo(chemin).absolutePath(), erreur) || !f.ecrire(contenu, erreur) || !f.synchroniser(erreur)
        || !f.fermer(erreur) || placerNom(f.chemin(), chemin, erreur) != Renommage::Fait)
        return false;
    f.garder();
    return synchroniserDossier(QFileInfo(chemin).absolutePath(), erreur);
}

bool Disque::remplacer(const QString &chemin, const QByteArray &contenu, ErreurDisque &erreur)
{
    FichierDisque f(*this);
    if (!f.creerProvisoire(QFileInfo(chemin).absolutePath(), erreur) || !f.ecrire(contenu, erreur) || !f.synchroniser(erreur)
        || !f.fermer(erreur))
        return false;
    if (const int code = renommer(f.chemin(), chemin); code < 0) {
        erreur = ErreurDisque::de(-code, chemin);
        return false;
    }
    f.garder();
    return synchroniserDossier(QFileInfo(chemin).absolutePath(), erreur);
}

bool Disque::placer(const QString &source, const QString &cible, ErreurDisque &erreur)
{
    if (!synchroniserChemin(source, erreur))
        return false;
    switch (placerNom(source, cible, erreur)) {
    case Renommage::Fait: return synchroniserDossier(QFileInfo(cible).absolutePath(), erreur);
    case Renommage::Echec: return false;
    case Renommage::AutreDisque: break;
    }
    QFile lecture;
    QString pourquoi;
    if (!ouvrirSansLien(lecture, source, QIODevice::ReadOnly, pourquoi)) {
        erreur = {0, pourquoi};
        return false;
    }
    FichierDisque copie(*this);
    if (!copie.creerProvisoire(QFileInfo(cible).absolutePath(), erreur))
        return false;
    QByteArray bloc(256 * 1024, Qt::Uninitialized);
    for (qint64 lus; (lus = lecture.read(bloc.data(), bloc.size())) != 0;) {
        if (lus < 0) {
            erreur = {EIO, lecture.errorString()};
            return false;
        }
        if (!copie.ecrire(bloc.constData(), lus, -1, erreur))
            return false;
    }
    if (!copie.synchroniser(erreur) || !copie.fermer(erreur) || placerNom(copie.chemin(), cible, erreur) != Renommage::Fait)
        return false;
    copie.garder();
    if (!synchroniserDossier(QFileInfo(cible).absolutePath(), erreur))
        return false;
    supprimer(source);
    return true;
}
