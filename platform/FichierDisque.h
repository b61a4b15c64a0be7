#pragma once

#include "platform/Disque.h"

// A file written through the disk's seam, each write checked to its end. A work file made
// with creerProvisoire is removed when this goes, unless garder() was called.
class FichierDisque
{
public:
    explicit FichierDisque(Disque &disque) : mDisque(disque) {}
    ~FichierDisque();
    FichierDisque(const FichierDisque &) = delete;
    FichierDisque &operator=(const FichierDisque &) = delete;

    // An existing or new file (drapeaux as open's), never through a link.
    bool ouvrir(const QString &chemin, int drapeaux, ErreurDisque &erreur);
    // A new file of this station's own name in dossier, made exclusively.
    bool creerProvisoire(const QString &dossier, ErreurDisque &erreur);
    bool ecrire(const QByteArray &donnees, ErreurDisque &erreur) { return ecrire(donnees.constData(), donnees.size(), -1, erreur); }
    bool ecrire(const char *donnees, qint64 taille, qint64 position, ErreurDisque &erreur);
    bool synchroniser(ErreurDisque &erreur);
    // A close can fail too (a share says there what its writes met).
    bool fermer(ErreurDisque &erreur);
    void garder() { mProvisoire = false; }

    bool estOuvert() const { return mFd >= 0; }
    const QString &chemin() const { return mChemin; }

private:
    Disque &mDisque;
    int mFd = -1;
    QString mChemin;
    bool mProvisoire = false;
};
