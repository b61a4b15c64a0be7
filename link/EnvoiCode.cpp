#include "link/EnvoiCode.h"

#include "link/CanalLiaison.h"
#include "link/EmpreinteFichier.h"
#include "link/EnvoiEtendu.h"
#include "link/MemoireFichiers.h"
#include "link/shared/Encodeur.h"
#include "platform/Windows1252.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QScopeGuard>

#include <algorithm>

namespace M = MethodeCodage;
namespace TE = TramesEtendues;
using Issue = EnvoiFichier::Issue;

QString EnvoiCode::taillesLisible(qint64 octets)
{
    const QLocale francais(QLocale::French);
    if (octets < 1024)
        return QStringLiteral("%1 octets").arg(octets);
    double n = double(octets) / 1024;
    QString unite = QStringLiteral("Ko");
    if (n >= 1024) {
        n /= 1024;
        unite = QStringLiteral("Mo");
    }
    return francais.toString(n, 'f', n < 10 ? 1 : 0) + QLatin1Char(' ') + unite;
}

QString EnvoiCode::bilan(qint64 surLaLigne, qint64 taille, const QString &comment)
{
    return QStringLiteral("%1 sur la ligne pour %2 : %3").arg(taillesLisible(surLaLigne), taillesLisible(taille), comment);
}

QString EnvoiCode::decrireReferences(const MemoireFichiers &memoire, const QList<QByteArray> &references) const
{
    if (references.size() > 1)
        return QStringLiteral("différence de %1 fichiers du même genre").arg(references.size());
    for (const MemoireFichiers::Entree &e : memoire.entrees()) {
        if (e.sha256 != references.value(0))
            continue;
        const qint64 jours = e.quand.date().daysTo(mCanal.maintenant().date());
        const QString quand = jours == 0   ? QStringLiteral("d'aujourd'hui")
                              : jours == 1 ? QStringLiteral("d'hier")
                                           : QStringLiteral("du %1").arg(e.quand.date().toString(QStringLiteral("dd/MM/yyyy")));
        return QStringLiteral("différence de %1 %2").arg(Windows1252::versTexte(e.nom), quand);
    }
    return QStringLiteral("différence d'un fichier déjà échangé");
}

std::optional<EnvoiCode::Codages> EnvoiCode::coder(const QString &fichier, const QStringList &references, const TE::Codage &base,
                                                   const QString &tables, const QByteArray &shaTables)
{
    const qint64 taille = QFileInfo(fichier).size();
    // As it is, unless a way below does better.
    Codages c{{fichier, taille, base, QStringLiteral("sans compression")}, {}};
    c.meilleur.codage.references.clear();
    c.seul = c.meilleur;
    std::vector<M::Methode> methodes{M::Methode::Bzip2, M::Methode::Zstd};
    if (!references.isEmpty())
        methodes.push_back(M::Methode::Difference);
    if (!references.isEmpty() && !tables.isEmpty())
        methodes.push_back(M::Methode::Tables);
    if (taille <= M::xzMax)
        methodes.push_back(M::Methode::Xz);
    const QString dossier = mCanal.dossiers().travail();
    QDir().mkpath(dossier);
    // xz -9e and zstd -19 are slow: worth their time only when what is left takes a while on
    // the line (a 256 KiB CSV at 115,200 baud arrived 5 % later for xz, 1.5 % for zstd -19, for no gain).
    constexpr qint64 fortAuDelaDeSecondes = 10;
    const qint64 debit = std::max<qint64>(mCanal.etat().octetsParSeconde, 1);
    const auto fort = [&] { return c.meilleur.taille >= fortAuDelaDeSecondes * debit; };
    const auto abandonner = [&](const Charge &ancien, const Charge &garde) {
        if (ancien.chemin != fichier && ancien.chemin != garde.chemin)
            QFile::remove(ancien.chemin);
    };
    for (const M::Methode methode : methodes) {
        if (methode == M::Methode::Xz && !fort())
            continue;
        const QString cible = dossier + QStringLiteral("/codage-") + QString::fromLatin1(M::nom(methode));
        const QStringList contre = methode == M::Methode::Difference ? references
                                   : methode == M::Methode::Tables   ? QStringList{tables} + references
                                                                     : QStringList();
        Encodeur encodeur(methode, fichier, cible, contre, fort());
        while (encodeur.etape())
            if (!mCanal.pause(0, Portee::Liaison))
                return std::nullopt;
        Charge essai{cible, encodeur.taille(), base, QStringLiteral("compressé seul (%1)").arg(QString::fromLatin1(M::nom(methode)))};
        essai.codage.methode = methode;
        if (!M::contreReferences(methode))
            essai.codage.references.clear();
        if (methode == M::Methode::Tables)
            essai.codage.references.prepend(shaTables);
        const bool seul = encodeur.reussi() && !M::contreReferences(methode) && essai.taille < c.seul.taille;
        const bool meilleur = encodeur.reussi() && essai.taille < c.meilleur.taille;
        if (seul) {
            abandonner(c.seul, c.meilleur);
            c.seul = essai;
        }
        if (meilleur) {
            abandonner(c.meilleur, c.seul);
            c.meilleur = essai;
        }
        if (!seul && !meilleur)
            QFile::remove(cible);
    }
    return c;
}

Issue EnvoiCode::envoyer(const QString &fichier, const std::function<bool()> &lignePerdue)
{
    const QByteArray nom = Windows1252::depuisTexte(QFileInfo(fichier).fileName());
    QFile lu(fichier);
    QByteArray sha;
    const auto lecture = lu.open(QIODevice::ReadOnly) ? EmpreinteFichier::calculer(lu, [&] { return mCanal.pause(0, Portee::Liaison); }, sha)
                                                      : EmpreinteFichier::Issue::Illisible;
    if (lecture == EmpreinteFichier::Issue::Arretee)
        return Issue::Fin;
    if (lecture == EmpreinteFichier::Issue::Illisible) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(fichier, lu.errorString()));
        return Issue::Abandon;
    }
    const qint64 taille = lu.size();
    lu.close();
    TE::Codage base{M::Methode::Brut, {}, taille, sha};
    MemoireFichiers memoire = MemoireFichiers::duPoste(mCanal);
    QStringList chemins;
    bool memeNom = false;
    for (const MemoireFichiers::Entree &e : memoire.references(nom, taille)) {
        if (QFileInfo(memoire.chemin(e.sha256)).isFile()) {
            base.references.append(e.sha256);
            chemins.append(memoire.chemin(e.sha256));
            memeNom = e.nom.toUpper() == nom.toUpper();
        }
    }
    QByteArray shaTables;
    if (!memeNom && !chemins.isEmpty()) {
        const Issue avant = tablesDuGenre(memoire, nom, chemins, lignePerdue, shaTables);
        if (avant != Issue::Livre)
            return avant;
    }
    const auto codes = coder(fichier, chemins, base, shaTables.isEmpty() ? QString() : memoire.chemin(shaTables), shaTables);
    if (!codes)
        return Issue::Fin;
    Charge charge = codes->meilleur;
    const auto nettoyer = qScopeGuard([&] {
        for (const QString &code : {codes->meilleur.chemin, codes->seul.chemin})
            if (code != fichier)
                QFile::remove(code);
    });
    if (charge.codage.methode == M::Methode::Difference)
        charge.comment = decrireReferences(memoire, charge.codage.references);
    if (charge.codage.methode == M::Methode::Tables)
        charge.comment = decrireReferences(memoire, charge.codage.references.mid(1));
    Issue issue = mEtendu.envoyerCode(charge.chemin, nom, charge.codage, lignePerdue);
    if (issue == Issue::Abandon && mEtendu.sansReference()) {
        // Once without: the next file makes its own choice again.
        mCanal.informer(QStringLiteral("Le poste distant n'a pas la référence de %1 : le fichier part sans elle.").arg(fichier));
        // It may lack the tables: they are made and sent again for the next file of the kind.
        if (charge.codage.methode == M::Methode::Tables)
            memoire.oublier(shaTables);
        charge = codes->seul;
        issue = mEtendu.envoyerCode(charge.chemin, nom, charge.codage, lignePerdue);
    }
    if (issue != Issue::Livre)
        return issue;
    mCanal.informer(bilan(charge.taille, taille, charge.comment));
    ErreurDisque erreur;
    bool parti = false;
    const bool garde = memoire.retenir(fichier, {base.shaFichier, taille, nom, mCanal.maintenant()}, erreur, [&] {
        parti = !mCanal.pause(0, Portee::Etape);
        return !parti;
    });
    if (parti)
        return Issue::Fin;
    if (!garde)
        mCanal.informer(QStringLiteral("Mémoire des fichiers échangés : %1 n'y est pas gardé (%2).").arg(fichier, erreur.texte));
    return issue;
}

Issue EnvoiCode::tablesDuGenre(MemoireFichiers &memoire, const QByteArray &nom, const QStringList &genre,
                               const std::function<bool()> &lignePerdue, QByteArray &sha)
{
    // Large files gain little from them, and would be coded twice.
    if (M::tailleSuite(genre) > MemoireFichiers::tablesAuPlusDe)
        return Issue::Livre;
    if (const auto tenues = memoire.tables(nom); tenues && QFileInfo(memoire.chemin(tenues->sha256)).isFile()) {
        sha = tenues->sha256;
        return Issue::Livre;
    }
    if (int(genre.size()) < MemoireFichiers::fichiersPourLesTables)
        return Issue::Livre;
    // Measured on the newer half coded against the older, as each file is against those before.
    const qsizetype moitie = genre.size() / 2;
    const QByteArray tables = Encodeur::tables(genre.first(moitie), genre.sliced(moitie));
    if (tables.isEmpty())
        return Issue::Livre;
    const QString chemin = mCanal.dossiers().travail() + QStringLiteral("/tables");
    QFile ecrit;
    QString pourquoi;
    if (!Disque::ouvrirSansLien(ecrit, chemin, QIODevice::WriteOnly | QIODevice::Truncate, pourquoi) || ecrit.write(tables) != tables.size()
        || !ecrit.flush())
        return Issue::Livre;
    ecrit.close();
    const auto effacer = qScopeGuard([&] { QFile::remove(chemin); });
    const QByteArray nomTables = MemoireFichiers::nomDesTables(nom);
    const QByteArray shaFait = QCryptographicHash::hash(tables, QCryptographicHash::Sha256).toHex();
    const Issue issue = mEtendu.envoyerCode(chemin, nomTables, {M::Methode::Brut, {}, tables.size(), shaFait}, lignePerdue);
    if (issue != Issue::Livre)
        return issue == Issue::Abandon ? Issue::Livre : issue;
    ErreurDisque erreur;
    if (!memoire.retenir(chemin, {shaFait, tables.size(), nomTables, mCanal.maintenant()}, erreur)) {
        mCanal.informer(QStringLiteral("Mémoire des fichiers échangés : les tables de codage n'y sont pas gardées (%1).").arg(erreur.texte));
        return Issue::Livre;
    }
    mCanal.informer(QStringLiteral("Tables de codage des fichiers %1 envoyées au poste distant (%2).")
                        .arg(Windows1252::versTexte(nomTables.mid(nomTables.lastIndexOf('.'))), taillesLisible(tables.size())));
    sha = shaFait;
    return Issue::Livre;
}
