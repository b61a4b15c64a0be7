#pragma once

#include "tests/support/BancLigne.h"
#include "tests/support/StationSimulee.h"
#include "tests/support/SurveillanceDossierSimulee.h"

// Fixture 1 of 3: one station on a simulated line whose other end is a scripted peer (the
// line's end A is the station's "COM1:"). Timed boxes count down in virtual time.
struct StationSurLigne : BancLigne, StationSimulee
{
    enum Depart {
        Rien,       // nothing made, the peer silent: the test makes the station and scripts the peer
        Lien,       // the link object alone, configured, its timer attached
        Application // the whole program, calling, its folder and instance window simulated
    };
    // Past Rien, the peer answers as a station would (see silence and refuse).
    explicit StationSurLigne(Depart depart = Rien);


    // The outgoing file of that name for the whole program.
    QString envoi(const QString &nom) const { return chemin("Envois à A/" + nom); }

    int silence = 0;                              // commands the peer leaves unanswered from now on; -1: all
    QByteArray refuse;                            // the name of a file the peer never acknowledges
    QList<QByteArray> recus;                      // names of the files sent to the peer whole
    SurveillanceDossierSimulee *veille = nullptr; // the outgoing folder's watcher, once the scanner goes on
};
