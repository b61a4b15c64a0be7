#include "tests/support/ApplicationSimulee.h"

#include "tests/support/PosteSimule.h"

FMain &ApplicationSimulee::charger(const QByteArray &ini, const QString &ligneCommande)
{
    if (!ini.isNull())
        ecrireFichier(chemin("navette.INI"), ini);
    principale = std::make_unique<FMain>(
        ContexteMain{env, fichierIni, dossier.path(), QStringLiteral("navette"), ligneCommande, &dialogue, &correspondance,
                     surveillance, surveillanceDossier},
        vue);
    principale->Form_Load();
    return *principale;
}
