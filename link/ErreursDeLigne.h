#pragma once

#include <QtGlobal>

// The count of line errors since the last good exchange, and what each number of them calls
// for. Every threshold of the engine is here, and every way the count grows.
class ErreursDeLigne
{
public:
    enum class Suite {
        Reessayer,            // wait again, the line may carry the next time
        Tester,               // a link test decides
        RaccrocherEtRappeler, // the line is too bad: hang up and make the link again
    };
    struct Decision
    {
        Suite suite;
        qint16 nombre; // the errors counted, this one included
    };

    // A piece of a file did not come in time: two more waits, then a link test.
    static constexpr qint16 retardsDeReceptionTolere = 2;
    // A called station that had no word from the caller tests the link itself, three times.
    static constexpr qint16 testsSansReponseTolere = 3;
    // The driver reported a line error: from the fifth on, the link is made again.
    static constexpr qint16 erreursDuPiloteTolere = 4;
    // After a driver's error, the supervision's next test comes this close (of its 6 ticks).
    static constexpr int compteurApresErreurDuPilote = 5;

    qint16 nombre() const { return mNombre; }
    // For tests and the owner's display: the count as it stands.
    void fixer(qint16 nombre) { mNombre = nombre; }
    // The line carried a good exchange: counting starts again.
    void ligneSaine() { mNombre = 0; }

    Decision receptionEnRetard();
    Decision testSansReponse();
    Decision erreurDuPilote();

private:
    qint16 mNombre = 0;
};
