// The modem emulator's command parser: any bytes from the computer, in virtual time.
#include "tests/support/BancModems.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *donnees, size_t taille)
{
    static BancModems *banc = [] {
        auto *b = new BancModems;
        b->modem2->depuisTerminal("ATS0=1\r");
        return b;
    }();
    banc->modem1->depuisTerminal(QByteArray(reinterpret_cast<const char *>(donnees), qsizetype(taille)));
    banc->plateforme.avancer(500);
    return 0;
}
