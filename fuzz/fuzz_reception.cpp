// Bytes from the line -> line driver -> dispatcher -> transfer, on a station in virtual time.
// After every input nothing may lie outside the station's own folders.
#include "tests/support/StationSurLigne.h"

#include <QCoreApplication>
#include <QDirIterator>

#include <cstdlib>

namespace {
StationSurLigne *station()
{
    static int argc = 1;
    static char nom[] = "fuzz_reception";
    static char *argv[] = {nom, nullptr};
    static QCoreApplication app(argc, argv);
    static StationSurLigne *s = [] {
        auto *p = new StationSurLigne;
        CInterlocuteur &poste = p->creerConfiguree("COM1:");
        poste.AttacherMinuterie();
        poste.FrmComm->Connecter();
        return p;
    }();
    return s;
}
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    StationSurLigne *s = station();
    if (!s->poste)
        return 0;
    s->poste->FrmComm->PortEvent_Lecture(QByteArray(reinterpret_cast<const char *>(donnees), qsizetype(taille)));
    s->plateforme.avancer(200);
    const QString racine = s->dossier.path() + QLatin1Char('/');
    QDirIterator tout(s->dossier.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (tout.hasNext()) {
        const QString relatif = tout.next().mid(racine.size());
        if (relatif != QLatin1String("navette.INI") && !relatif.startsWith(QLatin1String("recus/"))
            && !relatif.startsWith(QLatin1String("Travail/")) && !relatif.startsWith(QStringLiteral("Clés/")))
            std::abort(); // written outside the station's folders
    }
    return 0;
}
