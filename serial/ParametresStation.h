#pragma once

#include <QString>

#include <optional>
#include <span>

class FichierIni;

// The parameters one station link keeps in its section of the configuration file, as the
// settings dialog edits them. Every key is described once, in cles().
struct ParametresStation
{
    static constexpr const char *reglagesParDefaut = "38400, n, 8, 1";

    // The file's copy of the driver's port name and line settings (FComm::msNumPort, msSettings).
    QString NumPort;
    QString ParametresPort = QString::fromLatin1(reglagesParDefaut);
    bool PosteAppellant = false;
    QString NumTelAppel;
    QString CheminFichiersRecus;
    QString CheminFichiersAEnvoyer;
    bool Silencieux = false;
    bool SvrHoraire = false;
    QString VitesseConx;
    QString ScriptInit;
    // Off: this station never offers, nor takes up, the transfer of our own stations.
    bool ProtocoleEtendu = true;
    // The other station's public key: set, nothing is exchanged until it proves it holds the
    // private half, and then everything is encrypted. Read only, like ProtocoleEtendu.
    QString CleDistante;
    // Mebibytes kept of the files exchanged with this station, so that a file resembling one
    // crosses as its difference; 0 switches it off. Read only.
    qint64 MemoireFichiers = 64;
    // Seconds: a larger step of the clock from the other station is refused.
    qint64 EcartHorlogeMax = 3600;
    // Mebibytes of the disk no reception may use; absent: 256, or 5 % of the disk if less.
    std::optional<qint64> EspaceLibreMin;
    // The window's last place, written at the end only while the window is not minimised.
    std::optional<int> Gauche;
    std::optional<int> Haut;

    struct Cle
    {
        const char *nom; // UTF-8, as in the file
        // Takes the file's value; returns the value to write back when the file's was unusable.
        std::optional<QString> (*lire)(ParametresStation &, const QString &valeur);
        // Nothing to write when empty (a place not known).
        std::optional<QString> (*ecrire)(const ParametresStation &);
        bool position; // written at the end, not by the settings dialog
    };
    static std::span<const Cle> cles();

    // Reads every key but NumPort from the ini file's current section; rewrites those asked.
    void lire(FichierIni &ini);
    // Writes the dialog's keys (position false) or the window's (true); stops at the first
    // failure, and raison (when given) says why.
    bool ecrire(FichierIni &ini, bool position, QString *raison = nullptr) const;

    // The program's configuration file: beside the program, or in its "Données" folder.
    static QString fichierConfiguration(const QString &dossierProgramme, const QString &nomExecutable);
    // Creates an empty configuration file when there is none; true when it did.
    static bool creerSiAbsent(const QString &fichier);
    // Numbers as the file writes them ("2", " 3.0 "), the words true/false a person may type.
    static std::optional<double> nombre(const QString &texte);
    static std::optional<bool> booleen(const QString &texte);
    static QString texteBooleen(bool valeur) { return valeur ? QStringLiteral("-1") : QStringLiteral("0"); }
};
