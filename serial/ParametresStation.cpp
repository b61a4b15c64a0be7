#include "ParametresStation.h"

#include "FichierIni.h"

#include <QFile>
#include <QFileInfo>

#include <array>
#include <cmath>

namespace {
using P = ParametresStation;

// Silencieux and SvrHoraire: anything but a number is rewritten as False.
std::optional<QString> lireDrapeau(bool &membre, const QString &valeur)
{
    if (const auto v = P::nombre(valeur)) {
        membre = *v != 0;
        return std::nullopt;
    }
    membre = false;
    return P::texteBooleen(false);
}

// A place the file can hold: a finite number of modest size.
std::optional<int> lirePosition(const QString &valeur)
{
    const auto v = P::nombre(valeur);
    if (!v || !std::isfinite(*v) || std::abs(*v) > 1e6)
        return std::nullopt;
    return int(std::lround(*v));
}

std::optional<QString> position(const std::optional<int> &v)
{
    return v ? std::optional(QString::number(*v)) : std::nullopt;
}

const std::array<P::Cle, 12> tableDesCles{{
    {"NumPort", [](P &p, const QString &v) { p.NumPort = v; return std::optional<QString>(); },
     [](const P &p) { return std::optional(p.NumPort); }, false},
    // Missing or blank, the driver keeps its default rather than failing to open.
    {"ParametresPort",
     [](P &p, const QString &v) {
         if (!v.trimmed().isEmpty())
             p.ParametresPort = v;
         return std::optional<QString>();
     },
     [](const P &p) { return std::optional(p.ParametresPort); }, false},
    {"PosteAppellant",
     [](P &p, const QString &v) {
         if (const auto b = P::booleen(v))
             p.PosteAppellant = *b;
         return std::optional<QString>();
     },
     [](const P &p) { return std::optional(P::texteBooleen(p.PosteAppellant)); }, false},
    {"NumTelAppel", [](P &p, const QString &v) { p.NumTelAppel = v; return std::optional<QString>(); },
     [](const P &p) { return std::optional(p.NumTelAppel); }, false},
    {"CheminFichiersRecus", [](P &p, const QString &v) { p.CheminFichiersRecus = v; return std::optional<QString>(); },
     [](const P &p) { return std::optional(p.CheminFichiersRecus); }, false},
    {"CheminFichiersAEnvoyer",
     [](P &p, const QString &v) { p.CheminFichiersAEnvoyer = v; return std::optional<QString>(); },
     [](const P &p) { return std::optional(p.CheminFichiersAEnvoyer); }, false},
    {"Silencieux", [](P &p, const QString &v) { return lireDrapeau(p.Silencieux, v); },
     [](const P &p) { return std::optional(P::texteBooleen(p.Silencieux)); }, false},
    {"SvrHoraire", [](P &p, const QString &v) { return lireDrapeau(p.SvrHoraire, v); },
     [](const P &p) { return std::optional(P::texteBooleen(p.SvrHoraire)); }, false},
    {"Paramètre vitesse", [](P &p, const QString &v) { p.VitesseConx = v; return std::optional<QString>(); },
     [](const P &p) { return std::optional(p.VitesseConx); }, false},
    {"ScriptInit",
     [](P &p, const QString &v) {
         p.ScriptInit = v.isEmpty() ? QStringLiteral("ATZ0") : v;
         return std::optional<QString>();
     },
     [](const P &p) { return std::optional(p.ScriptInit); }, false},
    {"LEFT", [](P &p, const QString &v) { p.Gauche = lirePosition(v); return std::optional<QString>(); },
     [](const P &p) { return position(p.Gauche); }, true},
    {"TOP", [](P &p, const QString &v) { p.Haut = lirePosition(v); return std::optional<QString>(); },
     [](const P &p) { return position(p.Haut); }, true},
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
