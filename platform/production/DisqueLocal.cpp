#include "platform/production/DisqueLocal.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {
bool synchroniserChemin(const QString &chemin, int drapeaux, QString &erreur)
{
    const int fd = ::open(QFile::encodeName(chemin).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | drapeaux);
    if (fd < 0 || ::fsync(fd) != 0) {
        erreur = QStringLiteral("%1 : %2").arg(chemin, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}
}

bool DisqueLocal::synchroniser(const QString &chemin, QString &erreur)
{
    return synchroniserChemin(chemin, 0, erreur);
}

bool DisqueLocal::synchroniserDossier(const QString &dossier, QString &erreur)
{
    return synchroniserChemin(dossier, O_DIRECTORY, erreur);
}

Disque::Renommage DisqueLocal::renommer(const QString &source, const QString &cible, QString &erreur)
{
    if (::renameat2(AT_FDCWD, QFile::encodeName(source).constData(), AT_FDCWD, QFile::encodeName(cible).constData(),
                    RENAME_NOREPLACE)
        == 0)
        return Renommage::Fait;
    if (errno == EXDEV)
        return Renommage::AutreDisque;
    erreur = QStringLiteral("%1 : %2").arg(cible, QString::fromLocal8Bit(std::strerror(errno)));
    return Renommage::Echec;
}
