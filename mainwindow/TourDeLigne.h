#pragma once

#include <QtGlobal>

#include <limits>

// Whose turn it is on a line that carries one file at a time (the original protocol). After
// a scan that sent files, the next waits until the line has been free for longer than any
// station needs to take its turn: an older one scans 4 + 3 s after a file reaches it (9 + 3 s
// when it calls), and only if no other file came meanwhile. A station that has just received
// a file and has one waiting takes its turn at once. So each side waits at most for the other's
// scan, whose list is made at its start, and which toward a station that sends too stops after
// 30 s. With the extension both ways share the line: no turn.
class TourDeLigne
{
public:
    struct Liaison
    {
        bool etendue = false; // both ways at once
        quint32 allerRetourMs = 0;
    };

    // How soon a station that has just received a file, and has one waiting, sends it: an
    // older sender's next offer, if it has one, comes before.
    static quint32 priseDeTourMs(const Liaison &l) { return 500 + l.allerRetourMs; }
    static constexpr quint32 ligneLaisseeMs = 13'000;

    void fichierEnvoye(qint64 maintenantUs) { mFinEnvoiUs = maintenantUs; }
    // The other station had its turn: the next one is ours.
    void fichierRecu(qint64 maintenantUs)
    {
        mFinEnvoiUs = jamais;
        mDernierRecuUs = maintenantUs;
    }
    // How long the next file waits before it may leave. debutUs: when this scan sent its
    // first file (none yet: below zero).
    quint32 attenteMs(qint64 maintenantUs, qint64 debutUs, const Liaison &l) const
    {
        if (l.etendue)
            return 0;
        // A long scan toward a station that sends too (a backlog after an outage) ends: the
        // other does not wait for all of it.
        if (debutUs >= 0)
            return maintenantUs - debutUs > balayageLongUs && maintenantUs - mDernierRecuUs < traficRecentUs ? ligneLaisseeMs : 0;
        const qint64 finUs = mFinEnvoiUs + qint64(ligneLaisseeMs + l.allerRetourMs) * 1000;
        return finUs > maintenantUs ? quint32((finUs - maintenantUs + 999) / 1000) : 0;
    }

private:
    static constexpr qint64 jamais = std::numeric_limits<qint64>::min() / 2;
    static constexpr qint64 balayageLongUs = 30'000'000;
    static constexpr qint64 traficRecentUs = 600'000'000;
    qint64 mFinEnvoiUs = jamais;
    qint64 mDernierRecuUs = jamais;
};
