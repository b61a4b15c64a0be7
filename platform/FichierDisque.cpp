#include "platform/FichierDisque.h"

#include <QRandomGenerator>

#include <cerrno>

#include <fcntl.h>

FichierDisque::~FichierDisque()
{
    if (mFd >= 0)
        mDisque.fermer(mFd);
    if (mProvisoire)
        mDisque.supprimer(mChemin);
}

bool FichierDisque::ouvrir(const QString &chemin, int drapeaux, ErreurDisque &erreur)
{
    const int fd = mDisque.ouvrir(chemin, drapeaux);
    if (fd < 0) {
        erreur = ErreurDisque::de(-fd, chemin);
        return false;
    }
    mFd = fd;
    mChemin = chemin;
    return true;
}

bool FichierDisque::creerProvisoire(const QString &dossier, ErreurDisque &erreur)
{
    static const char lettres[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int essai = 0; essai < 100; ++essai) {
        QString nom = QStringLiteral(".navette-");
        for (int i = 0; i < 6; ++i)
            nom += QLatin1Char(lettres[QRandomGenerator::global()->bounded(int(sizeof lettres) - 1)]);
        const QString chemin = dossier + QStringLiteral("/") + nom + QStringLiteral(".tmp");
        const int fd = mDisque.ouvrir(chemin, O_WRONLY | O_CREAT | O_EXCL);
        if (fd == -EEXIST)
            continue;
        if (fd < 0) {
            erreur = ErreurDisque::de(-fd, chemin);
            return false;
        }
        mFd = fd;
        mChemin = chemin;
        mProvisoire = true;
        return true;
    }
    erreur = ErreurDisque::de(EEXIST, dossier);
    return false;
}

bool FichierDisque::ecrire(const char *donnees, qint64 taille, qint64 position, ErreurDisque &erreur)
{
    return mDisque.ecrireTout(mFd, mChemin, donnees, taille, position, erreur);
}

bool FichierDisque::synchroniser(ErreurDisque &erreur)
{
    if (const int code = mDisque.synchroniser(mFd); code < 0) {
        erreur = ErreurDisque::de(-code, mChemin);
        return false;
    }
    return true;
}

bool FichierDisque::fermer(ErreurDisque &erreur)
{
    const int code = mDisque.fermer(std::exchange(mFd, -1));
    if (code < 0) {
        erreur = ErreurDisque::de(-code, mChemin);
        return false;
    }
    return true;
}
