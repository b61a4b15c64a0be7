#pragma once

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <QStringList>

// Which files of the outgoing folder are whole, so that a half-written one never leaves.
// A file held open for writing by a process is never ready. Otherwise it is ready when the
// system said that its writer closed it, or that it was moved in, and its size has not changed
// since; or, where the system says nothing, once its size and date have stayed the same for
// stabiliteMs.
class FichiersComplets
{
public:
    static constexpr quint32 stabiliteMs = 1000;

    // The system said this file was closed after writing or moved in whole.
    void signalerComplet(const QString &chemin);

    struct Bilan
    {
        QSet<QString> prets;
        quint32 revoirDansMs = 0; // when one that is not ready may be; 0: none
    };
    // One look at the files the folder holds now (full paths), at that tick; ouverts: those
    // a process holds open for writing.
    Bilan examiner(const QStringList &fichiers, const QSet<QString> &ouverts, quint32 tick);

    // What a file looks like: its size (-1 when it is gone) and date.
    struct Apercu
    {
        qint64 taille = -1;
        QDateTime modifie;
        bool operator==(const Apercu &autre) const = default;
    };
    static Apercu apercu(const QString &chemin);

private:
    struct Suivi
    {
        Apercu vu;
        quint32 depuis = 0;       // tick since which it looks so
        qint64 tailleFermee = -1; // its size when its writer closed it
    };
    QHash<QString, Suivi> mSuivis;
};
