#include "tests/support/SurveillanceDossierSimulee.h"

#include "platform/Plateforme.h"

SurveillanceDossierSimulee::~SurveillanceDossierSimulee()
{
    for (const quint64 id : std::as_const(mEnAttente))
        mPlateforme.annuler(id);
}

bool SurveillanceDossierSimulee::surveiller(const QString &dossier, QString *raison)
{
    mDossier = refus.isEmpty() ? dossier : QString();
    return refus.isEmpty() || refuser(raison, refus);
}

void SurveillanceDossierSimulee::signaler(const QString &chemin, bool complet)
{
    if (mDossier.isEmpty())
        return;
    auto id = std::make_shared<quint64>();
    *id = mPlateforme.planifier(0, [this, chemin, complet, id] {
        mEnAttente.remove(*id);
        Changement(chemin, complet);
    });
    mEnAttente.insert(*id);
}
