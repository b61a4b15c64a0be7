#include "securite/CleStation.h"

#include "platform/Disque.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sodium.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr char entete[] = "# Clé privée de ce poste : ne la copiez nulle part, ne la montrez à personne.\n";

// A section's name as a file name: letters, digits, '-' and '_' kept, anything else coded.
QString nomDeFichier(const QString &section)
{
    QString nom;
    for (const char c : section.toUtf8()) {
        const bool sur = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
        nom += sur ? QString(QLatin1Char(c)) : QStringLiteral("%%1").arg(uchar(c), 2, 16, QLatin1Char('0')).toUpper();
    }
    return nom.isEmpty() ? QStringLiteral("%") : nom;
}
}

QString CleStation::chemin(const QString &dossierConfiguration, const QString &section)
{
    return QDir(dossierConfiguration).filePath(QStringLiteral("Clés/") + nomDeFichier(section) + QStringLiteral(".cle"));
}

std::optional<CleStation> CleStation::charger(Disque &disque, const QString &dossierConfiguration, const QString &section,
                                              QString &erreur)
{
    const QString fichier = chemin(dossierConfiguration, section);
    const QString dossier = QFileInfo(fichier).absolutePath();
    QDir().mkpath(dossierConfiguration);
    ::mkdir(QFile::encodeName(dossier).constData(), 0700);
    // Its mode set on what was opened, never through a link standing at its name.
    const int fd = ::open(QFile::encodeName(dossier).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || ::fchmod(fd, 0700) != 0) {
        erreur = QFileInfo(dossier).isSymLink()
                     ? QStringLiteral("Le dossier des clés %1 est un lien symbolique : il n'est pas suivi. Supprimez ce lien.").arg(dossier)
                     : QStringLiteral("Dossier des clés %1 impossible à créer (%2)").arg(dossier, QString::fromLocal8Bit(std::strerror(errno)));
        if (fd >= 0)
            ::close(fd);
        return std::nullopt;
    }
    ::close(fd);
    QFile lu;
    if (Disque::ouvrirSansLien(lu, fichier, QIODevice::ReadOnly, erreur)) {
        struct stat etat{};
        const bool prive = ::fstat(lu.handle(), &etat) == 0 && (etat.st_mode & 077) == 0;
        const QList<QByteArray> lignes = lu.readAll().split('\n');
        const QByteArray privee = lignes.size() > 1 ? QByteArray::fromBase64(lignes[1].trimmed()) : QByteArray();
        auto paire = Noise::PaireDeCles::depuisPrivee(privee);
        if (!paire) {
            erreur = QStringLiteral("Clé du poste illisible : %1").arg(fichier);
            return std::nullopt;
        }
        if (!prive) {
            erreur = QStringLiteral("Clé du poste lisible par d'autres que son utilisateur : %1 (chmod 600)").arg(fichier);
            return std::nullopt;
        }
        return CleStation(std::move(*paire));
    }
    if (QFileInfo::exists(fichier) || QFileInfo(fichier).isSymLink())
        return std::nullopt;
    Noise::PaireDeCles paire = Noise::PaireDeCles::tirer();
    // A new file only: two stations starting together keep the first key written.
    ErreurDisque panne;
    if (!disque.ecrire(fichier, entete + paire.privee.toBase64() + '\n', panne)) {
        if (QFileInfo::exists(fichier) || QFileInfo(fichier).isSymLink())
            return charger(disque, dossierConfiguration, section, erreur);
        erreur = QStringLiteral("Clé du poste impossible à écrire : %1").arg(panne.texte);
        return std::nullopt;
    }
    return CleStation(std::move(paire));
}

std::optional<CleStation> CleStation::chargerPourLePoste(Disque &disque, const QString &dossierConfiguration, const QString &section,
                                                         QString &erreur)
{
    struct stat etat{};
    if (::geteuid() == 0 && ::lstat(QFile::encodeName(dossierConfiguration).constData(), &etat) == 0) {
        if (S_ISLNK(etat.st_mode)) {
            erreur = QStringLiteral("Le dossier %1 est un lien symbolique : root ne le suit pas. Donnez le chemin du dossier lui-même.")
                         .arg(dossierConfiguration);
            return std::nullopt;
        }
        const gid_t groupe = etat.st_gid;
        if (etat.st_uid != 0
            && (::setgroups(1, &groupe) != 0 || ::setgid(etat.st_gid) != 0 || ::setuid(etat.st_uid) != 0 || ::geteuid() != etat.st_uid)) {
            erreur = QStringLiteral("Impossible d'agir en propriétaire du dossier %1 (%2) : la clé n'est pas créée.")
                         .arg(dossierConfiguration, QString::fromLocal8Bit(std::strerror(errno)));
            return std::nullopt;
        }
    }
    return charger(disque, dossierConfiguration, section, erreur);
}

QString CleStation::texte(const QByteArray &publique)
{
    return QString::fromLatin1(publique.toBase64());
}

std::optional<QByteArray> CleStation::lire(const QString &texte)
{
    const auto decode = QByteArray::fromBase64Encoding(texte.trimmed().toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decode || decode.decoded.size() != Noise::longueurCle)
        return std::nullopt;
    return decode.decoded;
}

QString CleStation::empreinte(const QByteArray &publique)
{
    QByteArray h(crypto_hash_sha256_BYTES, Qt::Uninitialized);
    crypto_hash_sha256(reinterpret_cast<unsigned char *>(h.data()), reinterpret_cast<const unsigned char *>(publique.constData()),
                       quint64(publique.size()));
    h = h.toHex().toUpper();
    return QString::fromLatin1(h.left(4) + '-' + h.mid(4, 4));
}
