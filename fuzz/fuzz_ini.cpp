// The configuration file's reader and writer on any bytes: a stored value reads back, and
// the lines it did not touch stay byte for byte.
#include "platform/FichierIni.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    static QTemporaryDir dossier;
    const QString chemin = dossier.filePath("navette.INI");
    const QByteArray contenu(reinterpret_cast<const char *>(donnees), qsizetype(taille));
    {
        QFile f(chemin);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(contenu);
    }
    FichierIni ini;
    ini.setFichier(chemin);
    ini.setSection(QStringLiteral("Port A"));
    for (const QString &cle : ini.Cles(QStringLiteral("Port A"))) {
        ini.setCle(cle);
        ini.Lire();
    }
    ini.setCle(QStringLiteral("NumPort"));
    ini.setValeur(QStringLiteral(" COM1: é"));
    if (!ini.Enregistrer())
        return 0;
    FichierIni relu;
    relu.setFichier(chemin);
    relu.setSection(QStringLiteral("Port A"));
    relu.setCle(QStringLiteral("NumPort"));
    if (!relu.Lire() || relu.Valeur() != QStringLiteral(" COM1: é"))
        std::abort();
    return 0;
}
