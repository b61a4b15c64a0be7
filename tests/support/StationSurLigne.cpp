#include "tests/support/StationSurLigne.h"

#include "tests/support/SurveillanceFenetreSimulee.h"

StationSurLigne::StationSurLigne(Depart depart) : StationSimulee(BancLigne::env())
{
    boites.setPlateforme(&plateforme);
    if (depart == Rien)
        return;
    repondeur = [this](const QByteArray &t) -> QByteArray {
        if (silence != 0) {
            silence -= silence > 0;
            return {};
        }
        if (t.startsWith("RECEPFICHIER")) {
            recus << t.mid(13, int(static_cast<unsigned char>(t[12])));
            if (recus.last() == refuse)
                return {};
        }
        return reponseDePoste(t);
    };
    if (depart == Lien) {
        creerConfiguree();
        poste->AttacherMinuterie();
        return;
    }
    surveillance = [] { return std::make_unique<SurveillanceFenetreSimulee>(); };
    surveillanceDossier = [this] {
        auto v = std::make_unique<SurveillanceDossierSimulee>(plateforme);
        veille = v.get();
        return v;
    };
    charger("[Port A]\nNumPort=COM1:\nPosteAppellant=-1\n", "A");
}
