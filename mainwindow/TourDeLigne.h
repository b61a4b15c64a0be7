#pragma once

#include <QtGlobal>

#include <limits>

// Whose turn it is on a line that carries one file at a time (the original protocol). A
// station that has just received a file and has one waiting takes its turn at once. The other
// one gives the line back by leaving it free long enough: an older station scans 4 + 3 s after
// a file reaches it (9 + 3 s when it calls), and only if no other file came meanwhile.
// - Toward a station that sent lately: after each scan, and a scan stops after 30 s. Each side
//   waits at most for one scan of the other, even behind a backlog.
// - Toward one that did not: only after 2 minutes of sending without a break, so that its
//   first file is not kept waiting by a long stream, and one-way traffic keeps its pace.
// With the extension both ways share the line: there is no turn.
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

    // How long the next file waits before it may leave. debutUs: when this scan sent its
    // first file (none yet: below zero).
    quint32 attenteMs(qint64 maintenantUs, qint64 debutUs, const Liaison &l) const;
    // A file is about to leave, then has left.
    void envoiCommence(qint64 maintenantUs);
    void fichierEnvoye(qint64 maintenantUs) { mFinEnvoiUs = maintenantUs; }
    // The other station had its turn: the next one is ours.
    void fichierRecu(qint64 maintenantUs);

private:
    static constexpr qint64 jamais = std::numeric_limits<qint64>::min() / 2;
    qint64 mFinEnvoiUs = jamais;
    qint64 mDernierRecuUs = jamais;
    qint64 mDebutOccupationUs = jamais; // sending without a break since
};
