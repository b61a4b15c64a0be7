#pragma once

#include "securite/Noise.h"

#include <QString>

#include <optional>

class Disque;

// A station's own key pair, kept in the configuration's folder under "Clés", one file per
// station (its section), readable by its user only. The private half leaves that file for
// the handshake alone: never a journal, the profile file or a message.
class CleStation
{
public:
    // The station's key, created when missing; nothing, with the reason, when it cannot be
    // read or made.
    static std::optional<CleStation> charger(Disque &disque, const QString &dossierConfiguration, const QString &section,
                                             QString &erreur);
    // The same for `navette --cle`. Run by root (making the key of a service), it first takes
    // the identity of the configuration folder's owner, who runs the station: nothing it then
    // does there, a link planted by that owner included, can reach what root alone may touch.
    static std::optional<CleStation> chargerPourLePoste(Disque &disque, const QString &dossierConfiguration, const QString &section,
                                                        QString &erreur);
    static QString chemin(const QString &dossierConfiguration, const QString &section);

    const Noise::PaireDeCles &paire() const { return mPaire; }
    QString publique() const { return texte(mPaire.publique); }

    // A public key as it is pasted: base64, 44 characters.
    static QString texte(const QByteArray &publique);
    static std::optional<QByteArray> lire(const QString &texte);
    // Eight hexadecimal digits of its SHA-256, "XXXX-XXXX", for people to compare.
    static QString empreinte(const QByteArray &publique);

private:
    explicit CleStation(Noise::PaireDeCles paire) : mPaire(std::move(paire)) {}
    Noise::PaireDeCles mPaire;
};
