#include "link/EnvoiCode.h"

#include "link/CanalLiaison.h"
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

std::optional<std::optional<EnvoiCode::Charge>> EnvoiCode::coder(const QString &fichier, const QStringList &references,
                                                                 const TE::Codage &base)
{
    const qint64 taille = QFileInfo(fichier).size();
    // As it is, unless a way below does better.
    Charge meilleure{fichier, taille, base, QStringLiteral("sans compression")};
    meilleure.codage.references.clear();
    std::vector<M::Methode> methodes{M::Methode::Zstd, M::Methode::Bzip2};
    if (!references.isEmpty())
        methodes.push_back(M::Methode::Difference);
    if (taille <= M::xzMax)
        methodes.push_back(M::Methode::Xz);
    const QString dossier = mCanal.dossiers().travail();
    QDir().mkpath(dossier);
    // xz -9e is slow: worth its time only when what is left takes a while on the line (a
    // 256 KiB CSV at 115,200 baud arrived 5 % later for it, for no gain).
    constexpr qint64 xzAuDelaDeSecondes = 10;
    const qint64 debit = std::max<qint64>(mCanal.etat().octetsParSeconde, 1);
    for (const M::Methode methode : methodes) {
        if (methode == M::Methode::Xz && meilleure.taille < xzAuDelaDeSecondes * debit)
            continue;
        const QString cible = dossier + QStringLiteral("/codage-") + QString::fromLatin1(M::nom(methode));
        Encodeur encodeur(methode, fichier, cible, methode == M::Methode::Difference ? references : QStringList());
        while (encodeur.etape())
            if (!mCanal.pause(0, Portee::Liaison))
                return std::nullopt;
        if (!encodeur.reussi() || encodeur.taille() >= meilleure.taille) {
            QFile::remove(cible);
            continue;
        }
        if (meilleure.chemin != fichier)
            QFile::remove(meilleure.chemin);
        meilleure = {cible, encodeur.taille(), base, QStringLiteral("compressé seul (%1)").arg(QString::fromLatin1(M::nom(methode)))};
        meilleure.codage.methode = methode;
        if (methode != M::Methode::Difference)
            meilleure.codage.references.clear();
    }
    return std::optional(meilleure);
}

Issue EnvoiCode::envoyer(const QString &fichier, const std::function<bool()> &lignePerdue)
{
    const QByteArray nom = Windows1252::depuisTexte(QFileInfo(fichier).fileName());
    QFile lu(fichier);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!lu.open(QIODevice::ReadOnly)) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(fichier, lu.errorString()));
        return Issue::Abandon;
    }
    while (!lu.atEnd()) {
        const QByteArray piece = lu.read(4 << 20);
        if (piece.isEmpty()) {
            mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(fichier, lu.errorString()));
            return Issue::Abandon;
        }
        sha.addData(piece);
        if (!mCanal.pause(0, Portee::Liaison))
            return Issue::Fin;
    }
    const qint64 taille = lu.size();
    lu.close();
    TE::Codage base{M::Methode::Brut, {}, taille, sha.result().toHex()};
    MemoireFichiers memoire = MemoireFichiers::duPoste(mCanal);
    QStringList chemins;
    for (const MemoireFichiers::Entree &e : memoire.references(nom, taille)) {
        if (QFileInfo(memoire.chemin(e.sha256)).isFile()) {
            base.references.append(e.sha256);
            chemins.append(memoire.chemin(e.sha256));
        }
    }
    const auto codee = coder(fichier, chemins, base);
    if (!codee)
        return Issue::Fin;
    std::optional<Charge> charge = *codee;
    const auto nettoyer = qScopeGuard([&] {
        if (charge && charge->chemin != fichier)
            QFile::remove(charge->chemin);
    });
    if (charge->codage.methode == M::Methode::Difference)
        charge->comment = decrireReferences(memoire, charge->codage.references);
    Issue issue = mEtendu.envoyerCode(charge->chemin, nom, charge->codage, lignePerdue);
    if (issue == Issue::Abandon && mEtendu.sansReference()) {
        // Once without: the next file makes its own choice again.
        mCanal.informer(QStringLiteral("Le poste distant n'a pas la référence de %1 : le fichier part sans elle.").arg(fichier));
        QFile::remove(charge->chemin);
        base.references.clear();
        const auto seule = coder(fichier, {}, base);
        if (!seule)
            return Issue::Fin;
        charge = *seule;
        issue = mEtendu.envoyerCode(charge->chemin, nom, charge->codage, lignePerdue);
    }
    if (issue != Issue::Livre)
        return issue;
    mCanal.informer(bilan(charge->taille, taille, charge->comment));
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
