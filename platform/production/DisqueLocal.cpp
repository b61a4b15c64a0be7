#include "platform/production/DisqueLocal.h"

#include <QFile>

#include <cerrno>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {
int resultat(int r)
{
    return r == 0 ? 0 : -errno;
}
QByteArray nom(const QString &chemin)
{
    return QFile::encodeName(chemin);
}
}

int DisqueLocal::ouvrir(const QString &chemin, int drapeaux)
{
    const int fd = ::open(nom(chemin).constData(), drapeaux | O_CLOEXEC | O_NOFOLLOW, 0600);
    return fd >= 0 ? fd : -errno;
}

qint64 DisqueLocal::ecrireAuPlus(int fd, const char *donnees, qint64 taille, qint64 position)
{
    for (;;) {
        const ssize_t ecrits = position < 0 ? ::write(fd, donnees, size_t(taille)) : ::pwrite(fd, donnees, size_t(taille), off_t(position));
        if (ecrits >= 0)
            return ecrits;
        if (errno != EINTR)
            return -errno;
    }
}

int DisqueLocal::synchroniser(int fd)
{
    return resultat(::fsync(fd));
}

int DisqueLocal::fermer(int fd)
{
    // Interrupted, the descriptor is closed all the same on this system.
    return ::close(fd) == 0 || errno == EINTR ? 0 : -errno;
}

int DisqueLocal::renommerSansRemplacer(const QString &source, const QString &cible)
{
    return resultat(::renameat2(AT_FDCWD, nom(source).constData(), AT_FDCWD, nom(cible).constData(), RENAME_NOREPLACE));
}

int DisqueLocal::lier(const QString &source, const QString &cible)
{
    return resultat(::link(nom(source).constData(), nom(cible).constData()));
}

int DisqueLocal::renommer(const QString &source, const QString &cible)
{
    return resultat(::rename(nom(source).constData(), nom(cible).constData()));
}

int DisqueLocal::supprimer(const QString &chemin)
{
    return resultat(::unlink(nom(chemin).constData()));
}
