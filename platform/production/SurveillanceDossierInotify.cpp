#include "platform/production/SurveillanceDossierInotify.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

std::unique_ptr<SurveillanceDossierInotify> SurveillanceDossierInotify::creer()
{
    const int descripteur = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (descripteur < 0)
        return nullptr;
    return std::unique_ptr<SurveillanceDossierInotify>(new SurveillanceDossierInotify(descripteur));
}

SurveillanceDossierInotify::SurveillanceDossierInotify(int descripteur)
    : mDescripteur(descripteur), mNotificateur(descripteur, QSocketNotifier::Read)
{
    QObject::connect(&mNotificateur, &QSocketNotifier::activated, [this] { lire(); });
}

SurveillanceDossierInotify::~SurveillanceDossierInotify()
{
    mNotificateur.setEnabled(false);
    ::close(mDescripteur);
}

bool SurveillanceDossierInotify::surveiller(const QString &dossier, QString *raison)
{
    if (mVeille >= 0)
        inotify_rm_watch(mDescripteur, mVeille);
    mVeille = -1;
    mDossier = QDir(dossier).canonicalPath(); // as /proc shows the files opened there
    if (mDossier.isEmpty())
        mDossier = QDir(dossier).absolutePath();
    // IN_CREATE: a file linked in never closes; it is then judged by the stability rule.
    mVeille = inotify_add_watch(mDescripteur, QFile::encodeName(mDossier).constData(),
                                IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_MOVE_SELF | IN_ONLYDIR);
    if (mVeille >= 0)
        return true;
    return refuser(raison, QStringLiteral("Le dossier %1 ne peut pas être surveillé (%2) : il est regardé toutes les 3 secondes.")
                               .arg(mDossier, QString::fromLocal8Bit(std::strerror(errno))));
}

void SurveillanceDossierInotify::lire()
{
    alignas(inotify_event) char tampon[16 * 1024];
    for (;;) {
        const ssize_t lus = ::read(mDescripteur, tampon, sizeof tampon);
        if (lus <= 0)
            return;
        for (ssize_t i = 0; i < lus;) {
            const auto *evenement = reinterpret_cast<const inotify_event *>(tampon + i);
            i += ssize_t(sizeof(inotify_event) + evenement->len);
            if (evenement->mask & IN_Q_OVERFLOW) {
                Changement(QString(), false);
                continue;
            }
            if (evenement->wd != mVeille)
                continue;
            if (evenement->mask & (IN_IGNORED | IN_MOVE_SELF)) { // the folder itself went
                if (evenement->mask & IN_MOVE_SELF)
                    inotify_rm_watch(mDescripteur, mVeille);
                mVeille = -1;
                Changement(QString(), false);
                continue;
            }
            if (evenement->len == 0 || (evenement->mask & IN_ISDIR))
                continue;
            Changement(QFile::decodeName(evenement->name), (evenement->mask & (IN_CLOSE_WRITE | IN_MOVED_TO)) != 0);
        }
    }
}

QSet<QString> SurveillanceDossierInotify::ouvertsEnEcriture() const
{
    // Every open file of every process, through /proc/<pid>/fd: a link per descriptor, and
    // its mode in /proc/<pid>/fdinfo. Only links into the watched folder are looked at closely.
    QSet<QString> ouverts;
    if (mDossier.isEmpty())
        return ouverts;
    const QByteArray prefixe = QFile::encodeName(mDossier) + '/';
    DIR *processus = opendir("/proc");
    if (!processus)
        return ouverts;
    while (const dirent *p = readdir(processus)) {
        if (p->d_name[0] < '1' || p->d_name[0] > '9')
            continue;
        const QByteArray racine = QByteArray("/proc/") + p->d_name;
        DIR *descripteurs = opendir(racine + "/fd");
        if (!descripteurs)
            continue; // ended, or another user's
        while (const dirent *d = readdir(descripteurs)) {
            if (d->d_name[0] < '0' || d->d_name[0] > '9')
                continue;
            char cible[4096];
            const ssize_t n = readlink(racine + "/fd/" + d->d_name, cible, sizeof cible);
            if (n <= prefixe.size() || std::memcmp(cible, prefixe.constData(), size_t(prefixe.size())) != 0)
                continue;
            const QByteArray nom(cible + prefixe.size(), n - prefixe.size());
            if (nom.contains('/'))
                continue;
            QFile info(QString::fromLatin1(racine + "/fdinfo/" + d->d_name));
            if (!info.open(QIODevice::ReadOnly))
                continue;
            for (const QByteArray &ligne : info.readAll().split('\n')) {
                if (!ligne.startsWith("flags:"))
                    continue;
                bool ok = false;
                const int drapeaux = ligne.mid(6).trimmed().toInt(&ok, 8);
                if (ok && (drapeaux & O_ACCMODE) != O_RDONLY)
                    ouverts.insert(QFile::decodeName(nom));
            }
        }
        closedir(descripteurs);
    }
    closedir(processus);
    return ouverts;
}
