#include "tests/support/DisqueSimule.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
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

QString DisqueSimule::cheminDe(int fd) const
{
    return QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).symLinkTarget();
}

int DisqueSimule::frappe(Etape etape, const QString &chemin, const QString &autre)
{
    for (Panne &panne : pannes) {
        if (panne.etape != etape || panne.fois == 0 || (!panne.dans.match(chemin).hasMatch() && !panne.dans.match(autre).hasMatch()))
            continue;
        if (panne.sauter > 0) {
            --panne.sauter;
            return 0;
        }
        if (panne.fois > 0)
            --panne.fois;
        return panne.code;
    }
    return 0;
}

int DisqueSimule::ouvrir(const QString &chemin, int drapeaux)
{
    if (avantCreation && (drapeaux & O_CREAT))
        avantCreation(chemin);
    if (const int code = frappe(Etape::Ouverture, chemin))
        return -code;
    return DisqueLocal::ouvrir(chemin, drapeaux);
}

qint64 DisqueSimule::ecrireAuPlus(int fd, const char *donnees, qint64 taille, qint64 position)
{
    if (const int code = mCoupees.take(fd))
        return -code;
    const QString chemin = cheminDe(fd);
    if (const int code = frappe(Etape::Ecriture, chemin))
        return -code;
    if (const int code = taille > 1 ? frappe(Etape::EcritureCourte, chemin) : 0) {
        mCoupees.insert(fd, code);
        return DisqueLocal::ecrireAuPlus(fd, donnees, taille / 2, position);
    }
    return DisqueLocal::ecrireAuPlus(fd, donnees, taille, position);
}

int DisqueSimule::synchroniser(int fd)
{
    const QString chemin = cheminDe(fd);
    if (const int code = frappe(Etape::Synchronisation, chemin))
        return -code;
    if (const int code = DisqueLocal::synchroniser(fd))
        return code;
    if (QFileInfo(chemin).isDir()) {
        QHash<QString, ino_t> noms;
        for (const QString &nom : QDir(chemin).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
            if (const auto i = inode(chemin + QLatin1Char('/') + nom))
                noms.insert(nom, *i);
        mNoms[QFileInfo(chemin).absoluteFilePath()] = noms;
    } else if (QFile f(chemin); f.open(QIODevice::ReadOnly)) {
        if (const auto i = inode(chemin))
            mContenus[*i] = f.readAll();
    }
    return 0;
}

int DisqueSimule::fermer(int fd)
{
    mCoupees.remove(fd);
    const int code = frappe(Etape::Fermeture, cheminDe(fd));
    const int ferme = DisqueLocal::fermer(fd);
    return code ? -code : ferme;
}

int DisqueSimule::renommerSansRemplacer(const QString &source, const QString &cible)
{
    if (avantMiseEnPlace)
        avantMiseEnPlace(cible);
    if (const int code = frappe(Etape::RenommageSansRemplacer, source, cible))
        return -code;
    return DisqueLocal::renommerSansRemplacer(source, cible);
}

int DisqueSimule::lier(const QString &source, const QString &cible)
{
    if (const int code = frappe(Etape::Lien, source, cible))
        return -code;
    return DisqueLocal::lier(source, cible);
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
