#include "mainwindow/FichiersComplets.h"

#include <QFileInfo>

FichiersComplets::Apercu FichiersComplets::apercu(const QString &chemin)
{
    const QFileInfo info(chemin);
    return {info.exists() ? info.size() : -1, info.lastModified()};
}

void FichiersComplets::signalerComplet(const QString &chemin)
{
    const qint64 taille = apercu(chemin).taille;
    if (taille >= 0)
        mSuivis[chemin].tailleFermee = taille;
}

FichiersComplets::Bilan FichiersComplets::examiner(const QStringList &fichiers, const QSet<QString> &ouverts, quint32 tick)
{
    Bilan bilan;
    QHash<QString, Suivi> suivis;
    for (const QString &chemin : fichiers) {
        Suivi suivi = mSuivis.value(chemin, Suivi{{}, tick, -1});
        const Apercu maintenant = apercu(chemin);
        if (!(maintenant == suivi.vu)) {
            suivi.vu = maintenant;
            suivi.depuis = tick;
        }
        suivis.insert(chemin, suivi);
        if (ouverts.contains(chemin))
            continue; // its writer's close will say when
        const quint32 stable = tick - suivi.depuis;
        if ((suivi.tailleFermee >= 0 && suivi.tailleFermee == maintenant.taille) || stable >= stabiliteMs) {
            bilan.prets.insert(chemin);
            continue;
        }
        const quint32 reste = stabiliteMs - stable;
        bilan.revoirDansMs = bilan.revoirDansMs == 0 ? reste : std::min(bilan.revoirDansMs, reste);
    }
    mSuivis = std::move(suivis); // what left the folder is forgotten
    return bilan;
}
