#include "serial/ParametresStation.h"

#include "platform/FichierIni.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cmath>

namespace {
using P = ParametresStation;

// A key read as it is, or through lire (which may correct the member or leave it).
template <QString P::*membre>
P::Cle cleTexte(const char *nom, std::optional<QString> (*lire)(P &, const QString &) = nullptr)
{
    const auto tel = [](P &p, const QString &v) {
        p.*membre = v;
        return std::optional<QString>();
    };
    return {nom, lire ? lire : +tel, [](const P &p) { return std::optional(p.*membre); }, false};
}

// Silencieux and SvrHoraire: anything but a number is rewritten as False.
template <bool P::*membre>
P::Cle cleDrapeau(const char *nom)
{
    return {nom,
            [](P &p, const QString &v) {
                const auto n = P::nombre(v);
                p.*membre = n && *n != 0;
                return n ? std::optional<QString>() : std::optional(P::texteBooleen(false));
            },
            [](const P &p) { return std::optional(P::texteBooleen(p.*membre)); }, false};
}

// The window's place: a finite number of modest size, written only when known.
template <std::optional<int> P::*membre>
P::Cle clePosition(const char *nom)
{
    return {nom,
            [](P &p, const QString &v) {
                const auto n = P::nombre(v);
                p.*membre = n && std::isfinite(*n) && std::abs(*n) <= 1e6 ? std::optional(int(std::lround(*n))) : std::nullopt;
                return std::optional<QString>();
            },
            [](const P &p) { return p.*membre ? std::optional(QString::number(*(p.*membre))) : std::nullopt; }, true};
}

const std::array<P::Cle, 17> tableDesCles{{
    cleTexte<&P::NumPort>("NumPort"),
    // Missing or blank, the driver keeps its default rather than failing to open.
    cleTexte<&P::ParametresPort>("ParametresPort",
                                 [](P &p, const QString &v) {
                                     if (!v.trimmed().isEmpty())
                                         p.ParametresPort = v;
                                     return std::optional<QString>();
                                 }),
    {"PosteAppellant",
     [](P &p, const QString &v) {
         if (const auto b = P::booleen(v))
             p.PosteAppellant = *b;
         return std::optional<QString>();
     },
     [](const P &p) { return std::optional(P::texteBooleen(p.PosteAppellant)); }, false},
    cleTexte<&P::NumTelAppel>("NumTelAppel"),
    cleTexte<&P::CheminFichiersRecus>("CheminFichiersRecus"),
    cleTexte<&P::CheminFichiersAEnvoyer>("CheminFichiersAEnvoyer"),
    cleDrapeau<&P::Silencieux>("Silencieux"),
    cleDrapeau<&P::SvrHoraire>("SvrHoraire"),
    cleTexte<&P::VitesseConx>("Paramètre vitesse"),
    cleTexte<&P::ScriptInit>("ScriptInit",
                             [](P &p, const QString &v) {
                                 p.ScriptInit = v.isEmpty() ? QStringLiteral("ATZ0") : v;
                                 return std::optional<QString>();
                             }),
    // Read only: a file without it keeps its bytes, and an unreadable value leaves it on.
    {"ProtocoleEtendu",
     [](P &p, const QString &v) {
         p.ProtocoleEtendu = P::booleen(v).value_or(true);
         return std::optional<QString>();
     },
     [](const P &) { return std::optional<QString>(); }, false},
    {"CleDistante",
     [](P &p, const QString &v) {
         p.CleDistante = v.trimmed();
         return std::optional<QString>();
     },
     [](const P &) { return std::optional<QString>(); }, false},
    {"EcartHorlogeMax",
     [](P &p, const QString &v) {
         bool ok = false;
         const qint64 s = v.trimmed().toLongLong(&ok);
         p.EcartHorlogeMax = ok && s >= 0 ? s : 3600;
         return std::optional<QString>();
     },
     [](const P &) { return std::optional<QString>(); }, false},
    {"MemoireFichiers",
     [](P &p, const QString &v) {
         bool ok = false;
         const qint64 mo = v.trimmed().toLongLong(&ok);
         p.MemoireFichiers = ok && mo >= 0 ? std::min<qint64>(mo, 1 << 20) : 64;
         return std::optional<QString>();
     },
     [](const P &) { return std::optional<QString>(); }, false},
    {"EspaceLibreMin",
     [](P &p, const QString &v) {
         bool ok = false;
         const qint64 mo = v.trimmed().toLongLong(&ok);
         p.EspaceLibreMin = ok && mo >= 0 ? std::optional(mo) : std::nullopt;
         return std::optional<QString>();
     },
     [](const P &) { return std::optional<QString>(); }, false},
    clePosition<&P::Gauche>("LEFT"),
    clePosition<&P::Haut>("TOP"),
}};
}

std::span<const P::Cle> ParametresStation::cles()
{
    return tableDesCles;
}

void ParametresStation::lire(FichierIni &ini)
{
    for (const Cle &cle : cles()) {
        if (qstrcmp(cle.nom, "NumPort") == 0)
            continue; // read first, and alone: a missing port opens the dialog
        if (cle.position)
            ini.setValeur(QString()); // a place not read stays unknown
        ini.setCle(QString::fromUtf8(cle.nom));
        ini.Lire();
        if (const auto reecrire = cle.lire(*this, ini.Valeur())) {
            ini.setValeur(*reecrire);
            ini.Enregistrer();
        }
    }
}

bool ParametresStation::ecrire(FichierIni &ini, bool position, QString *raison) const
{
    for (const Cle &cle : cles()) {
        if (cle.position != position)
            continue;
        const auto valeur = cle.ecrire(*this);
        if (!valeur)
            continue;
        ini.setCle(QString::fromUtf8(cle.nom));
        ini.setValeur(*valeur);
        if (!ini.Enregistrer(raison))
            return false;
    }
    return true;
}

QString ParametresStation::fichierConfiguration(const QString &dossierProgramme, const QString &nomExecutable)
{
    QString dossier = dossierProgramme;
    if (QFileInfo(dossier + QStringLiteral("/Données")).isDir())
        dossier += QStringLiteral("/Données");
    return dossier + QLatin1Char('/') + nomExecutable + QStringLiteral(".INI");
}

bool ParametresStation::creerSiAbsent(const QString &fichier)
{
    if (QFileInfo::exists(fichier))
        return false;
    QFile nouveau(fichier);
    if (nouveau.open(QIODevice::WriteOnly))
        nouveau.write("\n");
    return true;
}

std::optional<double> ParametresStation::nombre(const QString &texte)
{
    bool ok = false;
    const double v = texte.trimmed().toDouble(&ok);
    if (!ok || texte.trimmed().isEmpty())
        return std::nullopt;
    return v;
}

std::optional<bool> ParametresStation::booleen(const QString &texte)
{
    if (const auto v = nombre(texte))
        return *v != 0;
    const QString mot = texte.trimmed().toLower();
    if (mot == QLatin1String("true") || mot == QLatin1String("vrai"))
        return true;
    if (mot == QLatin1String("false") || mot == QLatin1String("faux"))
        return false;
    return std::nullopt;
}
