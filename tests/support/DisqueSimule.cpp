#include "tests/support/DisqueSimule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <sys/stat.h>

namespace {
std::optional<ino_t> inode(const QString &chemin)
{
    struct stat s{};
    if (::lstat(QFile::encodeName(chemin).constData(), &s) != 0)
        return std::nullopt;
    return s.st_ino;
}
}

bool DisqueSimule::synchroniser(const QString &chemin, QString &erreur)
{
    if (!DisqueLocal::synchroniser(chemin, erreur))
        return false;
    ++synchronisations;
    QFile f(chemin);
    if (const auto i = inode(chemin); i && f.open(QIODevice::ReadOnly))
        mContenus[*i] = f.readAll();
    return true;
}

bool DisqueSimule::synchroniserDossier(const QString &dossier, QString &erreur)
{
    if (!DisqueLocal::synchroniserDossier(dossier, erreur))
        return false;
    ++synchronisations;
    QHash<QString, ino_t> noms;
    for (const QString &nom : QDir(dossier).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (const auto i = inode(dossier + QLatin1Char('/') + nom))
            noms.insert(nom, *i);
    mNoms[QFileInfo(dossier).absoluteFilePath()] = noms;
    return true;
}

bool DisqueSimule::survivrait(const QString &chemin, const QByteArray &contenu) const
{
    const QFileInfo info(chemin);
    const auto noms = mNoms.constFind(info.absolutePath());
    if (noms == mNoms.cend() || !noms->contains(info.fileName()))
        return false;
    const auto donnees = mContenus.constFind(noms->value(info.fileName()));
    return donnees != mContenus.cend() && *donnees == contenu;
}
