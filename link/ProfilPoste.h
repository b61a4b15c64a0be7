#pragma once

#include <QString>

#include <optional>

struct ContexteLiaison;
struct ParametresStation;

// Where a station's parameters live: the configuration file (created when missing) and the
// station's section in it, the port's key, the window's place.
class ProfilPoste
{
public:
    explicit ProfilPoste(ContexteLiaison &contexte) : mContexte(contexte) {}

    // Without a file, the program's own; without a section, one named after the station's index.
    void choisir(QString fichier, QString section, const QString &index);
    const QString &section() const { return mSection; }
    struct Port
    {
        QString nom;    // empty when none is set yet
        QString erreur; // why the file cannot be read, if it cannot
    };
    // The port's key, a bare number turned into its port name.
    Port lirePort();
    void placerFenetre(const ParametresStation &parametres);
    // The dialog's keys written back; why not, when they could not be.
    std::optional<QString> ecrire(const ParametresStation &parametres);

private:
    ContexteLiaison &mContexte;
    QString mSection;
};
