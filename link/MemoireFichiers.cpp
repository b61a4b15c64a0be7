#include "link/MemoireFichiers.h"

#include "link/CanalLiaison.h"
#include "link/EmpreinteFichier.h"
#include "platform/FichierDisque.h"
#include "serial/ParametresStation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>

#include <algorithm>

namespace {
QByteArray extension(const QByteArray &nom)
{
    const qsizetype point = nom.lastIndexOf('.');
    return point < 0 ? QByteArray() : nom.mid(point).toUpper();
}
}

MemoireFichiers::MemoireFichiers(Disque &disque, QString dossier, qint64 plafond, const QString &cleDistante)
    : mDisque(disque), mDossier(std::move(dossier)), mPlafond(plafond)
{
    if (!active())
        return;
    QDir().mkpath(mDossier);
    QFile::setPermissions(mDossier, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    // Files exchanged with another key were exchanged with another station.
    const QByteArray cle = cleDistante.toUtf8() + '\n';
    QFile lue;
    QString pourquoi;
    const bool connue = Disque::ouvrirSansLien(lue, mDossier + QStringLiteral("/cle"), QIODevice::ReadOnly, pourquoi);
    if (connue && lue.readAll() == cle)
        return;
    lue.close();
    QDir d(mDossier);
    for (const QString &nom : d.entryList(QDir::Files | QDir::Hidden | QDir::System))
        d.remove(nom);
    ErreurDisque erreur;
    mDisque.remplacer(mDossier + QStringLiteral("/cle"), cle, erreur);
}

MemoireFichiers MemoireFichiers::duPoste(CanalLiaison &canal)
{
    const ParametresStation &p = canal.parametres();
    return MemoireFichiers(canal.disque(), canal.dossiers().travail() + QStringLiteral("/Echanges"), p.MemoireFichiers << 20, p.CleDistante);
}

std::vector<MemoireFichiers::Entree> MemoireFichiers::entrees() const
{
    std::vector<Entree> liste;
    QFile index;
    QString pourquoi;
    if (!active() || !Disque::ouvrirSansLien(index, mDossier + QStringLiteral("/index"), QIODevice::ReadOnly, pourquoi))
        return liste;
    for (const QByteArray &ligne : index.readAll().split('\n')) {
        const QList<QByteArray> champs = ligne.split(' ');
        if (champs.size() != 5 || champs[0].size() != 64)
            continue;
        Entree e{champs[0], champs[1].toLongLong(), QByteArray::fromHex(champs[4]),
                 QDateTime::fromString(QString::fromLatin1(champs[3]), Qt::ISODate), champs[2].toULongLong()};
        if (QByteArray::fromHex(e.sha256).toHex() == e.sha256 && e.taille >= 0)
            liste.push_back(e);
    }
    return liste;
}

void MemoireFichiers::ecrireIndex(const std::vector<Entree> &entrees)
{
    QByteArray texte;
    for (const Entree &e : entrees)
        texte += e.sha256 + ' ' + QByteArray::number(e.taille) + ' ' + QByteArray::number(e.numero) + ' '
            + e.quand.toString(Qt::ISODate).toLatin1() + ' ' + e.nom.toHex() + '\n';
    ErreurDisque erreur;
    mDisque.remplacer(mDossier + QStringLiteral("/index"), texte, erreur);
}

std::vector<MemoireFichiers::Entree> MemoireFichiers::references(const QByteArray &nom, qint64 taille) const
{
    std::vector<Entree> toutes = entrees();
    std::sort(toutes.begin(), toutes.end(), [](const Entree &a, const Entree &b) { return a.numero > b.numero; });
    std::erase_if(toutes, [](const Entree &e) { return sontDesTables(e.nom); });
    for (const Entree &e : toutes)
        if (e.nom.toUpper() == nom.toUpper())
            return {e};
    std::vector<Entree> genre;
    for (const Entree &e : toutes)
        if (!extension(nom).isEmpty() && extension(e.nom) == extension(nom) && e.taille * 4 >= taille && e.taille <= taille * 4
            && int(genre.size()) < referencesDuGenreMax)
            genre.insert(genre.begin(), e);
    return genre;
}

QByteArray MemoireFichiers::nomDesTables(const QByteArray &nomFichier)
{
    return extension(nomFichier).isEmpty() ? QByteArray() : "/TABLES" + extension(nomFichier);
}

bool MemoireFichiers::sontDesTables(const QByteArray &nom)
{
    return nom.startsWith('/');
}

std::optional<MemoireFichiers::Entree> MemoireFichiers::tables(const QByteArray &nomFichier) const
{
    const QByteArray nom = nomDesTables(nomFichier);
    std::optional<Entree> plusRecentes;
    for (const Entree &e : entrees())
        if (!nom.isEmpty() && e.nom == nom && (!plusRecentes || e.numero > plusRecentes->numero))
            plusRecentes = e;
    return plusRecentes;
}

std::optional<QByteArray> MemoireFichiers::trouver(const QByteArray &debut) const
{
    std::optional<QByteArray> trouve;
    for (const Entree &e : entrees()) {
        if (!e.sha256.startsWith(debut) || debut.isEmpty())
            continue;
        if (trouve)
            return std::nullopt;
        trouve = e.sha256;
    }
    return trouve;
}

std::optional<bool> MemoireFichiers::tient(const QByteArray &sha256, const std::function<bool()> &ceder)
{
    const std::vector<Entree> toutes = entrees();
    if (std::none_of(toutes.begin(), toutes.end(), [&](const Entree &e) { return e.sha256 == sha256; }))
        return false;
    QFile lu;
    QString pourquoi;
    QByteArray relu;
    const auto lecture = Disque::ouvrirSansLien(lu, chemin(sha256), QIODevice::ReadOnly, pourquoi)
        ? EmpreinteFichier::calculer(lu, ceder, relu)
        : EmpreinteFichier::Issue::Illisible;
    if (lecture == EmpreinteFichier::Issue::Arretee)
        return std::nullopt;
    if (relu == sha256)
        return true;
    oublier(sha256);
    return false;
}

void MemoireFichiers::oublier(const QByteArray &sha256)
{
    std::vector<Entree> toutes = entrees();
    std::erase_if(toutes, [&](const Entree &e) { return e.sha256 == sha256; });
    ecrireIndex(toutes);
    mDisque.supprimer(chemin(sha256));
}

bool MemoireFichiers::retenir(const QString &fichier, const Entree &entree, ErreurDisque &erreur, const std::function<bool()> &ceder)
{
    if (!active() || entree.taille > mPlafond)
        return true;
    const std::vector<Entree> avant = entrees();
    const bool deja = QFileInfo(chemin(entree.sha256)).isFile()
        && std::any_of(avant.begin(), avant.end(), [&](const Entree &e) { return e.sha256 == entree.sha256; });
    if (!deja) {
        QFile lu;
        QString pourquoi;
        if (!Disque::ouvrirSansLien(lu, fichier, QIODevice::ReadOnly, pourquoi)) {
            erreur = {0, pourquoi};
            return false;
        }
        // A copy cut short by a stop left its provisional file behind; one being made (the other
        // way's) is written every mebibyte. At worst a copy is lost, never a file of the user's.
        const QDateTime perime = QDateTime::currentDateTimeUtc().addSecs(-3600);
        for (const QFileInfo &reste : QDir(mDossier).entryInfoList({QStringLiteral(".navette-*.tmp")}, QDir::Files | QDir::Hidden | QDir::System))
            if (reste.lastModified().toUTC() < perime)
                mDisque.supprimer(reste.absoluteFilePath());
        FichierDisque copie(mDisque);
        if (!copie.creerProvisoire(mDossier, erreur))
            return false;
        while (!lu.atEnd()) {
            const QByteArray piece = lu.read(1 << 20);
            if (piece.isEmpty()) {
                erreur = {0, lu.errorString()};
                return false;
            }
            if (!copie.ecrire(piece, erreur))
                return false;
            if (ceder && !ceder())
                return false;
        }
        if (!copie.synchroniser(erreur) || !copie.fermer(erreur))
            return false;
        mDisque.supprimer(chemin(entree.sha256));
        if (mDisque.placerNom(copie.chemin(), chemin(entree.sha256), erreur) != Disque::Renommage::Fait)
            return false;
        copie.garder();
        if (!mDisque.synchroniserDossier(mDossier, erreur))
            return false;
    }
    // Read again: the other way may have kept a file while this copy let the line run.
    std::vector<Entree> toutes = entrees();
    quint64 numero = 0;
    for (const Entree &e : toutes)
        numero = std::max(numero, e.numero);
    std::erase_if(toutes, [&](const Entree &e) { return e.sha256 == entree.sha256; });
    Entree nouvelle = entree;
    nouvelle.numero = numero + 1;
    toutes.push_back(nouvelle);
    // The oldest out first, until all fits.
    std::sort(toutes.begin(), toutes.end(), [](const Entree &a, const Entree &b) { return a.numero > b.numero; });
    qint64 total = 0;
    std::vector<Entree> gardees;
    for (const Entree &e : toutes) {
        total += e.taille;
        if (total <= mPlafond)
            gardees.push_back(e);
        else
            mDisque.supprimer(chemin(e.sha256));
    }
    ecrireIndex(gardees);
    return true;
}
