#include "mainwindow/TourDeLigne.h"

namespace {
constexpr qint64 traficRecentUs = 600'000'000;
constexpr qint64 balayageLongUs = 30'000'000;
constexpr qint64 occupationLongueUs = 120'000'000;
}

quint32 TourDeLigne::attenteMs(qint64 maintenantUs, qint64 debutUs, const Liaison &l) const
{
    if (l.etendue)
        return 0;
    const bool recent = maintenantUs - mDernierRecuUs < traficRecentUs;
    const bool occupee = maintenantUs - mDebutOccupationUs > occupationLongueUs;
    if (debutUs >= 0) {
        // Within a scan: it stops here when it has been long enough.
        const bool rendre = recent ? maintenantUs - debutUs > balayageLongUs : occupee;
        return rendre ? ligneLaisseeMs : 0;
    }
    if (!recent && !occupee)
        return 0;
    const qint64 finUs = mFinEnvoiUs + qint64(ligneLaisseeMs + l.allerRetourMs) * 1000;
    return finUs > maintenantUs ? quint32((finUs - maintenantUs + 999) / 1000) : 0;
}

void TourDeLigne::envoiCommence(qint64 maintenantUs)
{
    if (maintenantUs - mFinEnvoiUs >= qint64(ligneLaisseeMs) * 1000)
        mDebutOccupationUs = maintenantUs;
}

void TourDeLigne::fichierRecu(qint64 maintenantUs)
{
    mFinEnvoiUs = jamais;
    mDebutOccupationUs = jamais;
    mDernierRecuUs = maintenantUs;
}
