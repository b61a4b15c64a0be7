#pragma once

#include "platform/production/DisqueLocal.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>

#include <functional>
#include <optional>
#include <vector>

#include <sys/types.h>

// The real disk, with its faults on demand, and beside it what a power cut would leave: the
// content of each file as it was at its last sync (by inode, so that it follows a rename),
// and the names of each folder as they were at its last sync. Anything not synced is lost.
class DisqueSimule : public DisqueLocal
{
public:
    int ouvrir(const QString &chemin, int drapeaux) override;
    qint64 ecrireAuPlus(int fd, const char *donnees, qint64 taille, qint64 position) override;
    int synchroniser(int fd) override;
    int fermer(int fd) override;
    int renommerSansRemplacer(const QString &source, const QString &cible) override;
    int lier(const QString &source, const QString &cible) override;

    // Where a fault strikes: each call the seam has, and a write that stops half-way then fails.
    enum class Etape { Ouverture, Ecriture, EcritureCourte, Synchronisation, Fermeture, RenommageSansRemplacer, Lien };
    struct Panne
    {
        Etape etape;
        int code;        // errno
        QRegularExpression dans; // on the paths it finds
        int fois = 1;    // then the fault clears; negative: never
        int sauter = 0;  // calls let through first
    };
    std::vector<Panne> pannes;
    // Just before a file is made, or a name put in place without replacing: another program
    // may act there.
    std::function<void(const QString &chemin)> avantCreation;
    std::function<void(const QString &cible)> avantMiseEnPlace;

    // The file at chemin would be there after a power cut now, with exactly this content.
    bool survivrait(const QString &chemin, const QByteArray &contenu) const;

private:
    // The fault's code when it strikes this call, else 0.
    int frappe(Etape etape, const QString &chemin, const QString &autre = {});
    QString cheminDe(int fd) const;
    QHash<int, int> mCoupees; // a write cut short: the next one on that descriptor fails so
    QHash<ino_t, QByteArray> mContenus;
    QMap<QString, QHash<QString, ino_t>> mNoms;
};
