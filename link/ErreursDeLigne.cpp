#include "link/ErreursDeLigne.h"

ErreursDeLigne::Decision ErreursDeLigne::receptionEnRetard()
{
    ++mNombre;
    return {mNombre <= retardsDeReceptionTolere ? Suite::Reessayer : Suite::Tester, mNombre};
}

ErreursDeLigne::Decision ErreursDeLigne::testSansReponse()
{
    ++mNombre;
    return {mNombre <= testsSansReponseTolere ? Suite::Reessayer : Suite::RaccrocherEtRappeler, mNombre};
}

ErreursDeLigne::Decision ErreursDeLigne::erreurDuPilote()
{
    // The count said is the one before this error: the user reads "(4)" before the hang-up.
    const qint16 avant = mNombre;
    if (mNombre >= erreursDuPiloteTolere) {
        mNombre = 0;
        return {Suite::RaccrocherEtRappeler, avant};
    }
    ++mNombre;
    return {Suite::Reessayer, avant};
}
