#pragma once

#include <QString>

class Plateforme;
struct ParametresStation;

// The station's folders and the names it gives files there: where received files land, where
// it builds its archives, and a free name for a file that must not overwrite another.
class DossiersPoste
{
public:
    // A value of the moment: the engine makes one from its settings each time it is asked.
    DossiersPoste(Plateforme &plateforme, QString dossierProgramme, const ParametresStation &parametres, QString section);

    // The incoming folder; without one set, a "Reçus" folder beside the program.
    QString reception() const;
    // The incoming and outgoing folders, one level only, as asked: a failure shows when the
    // folder is used.
    void creer() const;
    // Where this station builds its archives, out of the user's folders.
    QString travail() const;
    // Archives left by a station stopped in the middle of a send.
    void nettoyerTravail() const;
    // A stamped name ("ddmmyy hhnnss name") that nothing in the folder holds yet.
    QString nomHorodate(const QString &dossier, const QString &nom, const QString &suffixe = {}) const;
    // The name itself when free, else a stamped one.
    QString nomLibre(const QString &dossier, const QString &nom) const;
    // Anything stands at that name, a dangling link included.
    static bool nomPris(const QString &chemin);

private:
    Plateforme &mPlateforme;
    QString mDossierProgramme;
    QString mReception;
    QString mAEnvoyer;
    QString mSection;
};
