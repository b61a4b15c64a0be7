#include "platform/Disque.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

namespace {
// A work file beside its target, created exclusively: nothing else can be written through it.
std::unique_ptr<QTemporaryFile> provisoire(const QString &cible, QString &erreur)
{
    auto fichier = std::make_unique<QTemporaryFile>(QFileInfo(cible).absolutePath() + QStringLiteral("/.navette-XXXXXX.tmp"));
    fichier->setAutoRemove(true);
    if (!fichier->open()) {
        erreur = fichier->errorString();
        return nullptr;
    }
    return fichier;
}

// The temporary file, written and synced, takes its place; it is removed on any failure.
bool mettreEnPlace(Disque &disque, QTemporaryFile &fichier, const QString &cible, QString &erreur)
{
    fichier.close();
    if (!disque.synchroniser(fichier.fileName(), erreur))
        return false;
    if (disque.renommer(fichier.fileName(), cible, erreur) != Disque::Renommage::Fait)
        return false;
    fichier.setAutoRemove(false);
    return disque.synchroniserDossier(QFileInfo(cible).absolutePath(), erreur);
}
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

bool Disque::ecrire(const QString &chemin, const QByteArray &contenu, QString &erreur)
{
    const auto fichier = provisoire(chemin, erreur);
    if (!fichier)
        return false;
    if (fichier->write(contenu) != contenu.size()) {
        erreur = fichier->errorString();
        return false;
    }
    return mettreEnPlace(*this, *fichier, chemin, erreur);
}

bool Disque::remplacer(const QString &chemin, const QByteArray &contenu, QString &erreur)
{
    const auto fichier = provisoire(chemin, erreur);
    if (!fichier)
        return false;
    if (fichier->write(contenu) != contenu.size() || !fichier->flush()) {
        erreur = fichier->errorString();
        return false;
    }
    fichier->close();
    if (!synchroniser(fichier->fileName(), erreur))
        return false;
    if (::rename(QFile::encodeName(fichier->fileName()).constData(), QFile::encodeName(chemin).constData()) != 0) {
        erreur = QStringLiteral("%1 : %2").arg(chemin, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    fichier->setAutoRemove(false);
    return synchroniserDossier(QFileInfo(chemin).absolutePath(), erreur);
}

bool Disque::placer(const QString &source, const QString &cible, QString &erreur)
{
    if (!synchroniser(source, erreur))
        return false;
    switch (renommer(source, cible, erreur)) {
    case Renommage::Fait: return synchroniserDossier(QFileInfo(cible).absolutePath(), erreur);
    case Renommage::Echec: return false;
    case Renommage::AutreDisque: break;
    }
    const auto copie = provisoire(cible, erreur);
    if (!copie)
        return false;
    QFile original(source);
    if (!original.open(QIODevice::ReadOnly)) {
        erreur = original.errorString();
        return false;
    }
    QByteArray bloc(256 * 1024, Qt::Uninitialized);
    for (qint64 lus; (lus = original.read(bloc.data(), bloc.size())) != 0;) {
        if (lus < 0 || copie->write(bloc.constData(), lus) != lus) {
            erreur = lus < 0 ? original.errorString() : copie->errorString();
            return false;
        }
    }
    if (!mettreEnPlace(*this, *copie, cible, erreur))
        return false;
    QFile::remove(source);
    return true;
}
