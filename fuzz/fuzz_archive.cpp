// The archive reader on any bytes: it extracts at most one file, inside its folder, or says why not.
#include "platform/Dezipper.h"
#include "platform/production/DisqueLocal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    static QTemporaryDir dossier;
    QDir travail(dossier.filePath("UNZIP"));
    travail.removeRecursively();
    QDir().mkpath(travail.path());
    const QString archive = travail.filePath("X.ZQZIP");
    {
        QFile f(archive);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char *>(donnees), qint64(taille));
    }
    DisqueLocal disque;
    Dezipper d(disque);
    d.setDossierExtraction(travail.path());
    d.setNomArchive(archive);
    QString raison;
    d.Decompresser(&raison);
    if (raison.isEmpty() && !d.FichierExtrait().startsWith(travail.path() + QLatin1Char('/')))
        std::abort();
    if (QDir(dossier.path()).entryList(QDir::Files | QDir::Hidden).size() != 0)
        std::abort(); // something landed beside the work folder
    return 0;
}
