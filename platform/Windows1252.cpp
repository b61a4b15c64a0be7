#include "platform/Windows1252.h"

namespace {
constexpr char16_t tableHaute[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int octetDe(char16_t caractere)
{
    for (int i = 0; i < 32; ++i)
        if (tableHaute[i] == caractere)
            return 0x80 + i;
    if (caractere < 0x80 || (caractere >= 0xA0 && caractere <= 0xFF))
        return caractere;
    return -1;
}
}

char16_t Windows1252::codeCaractere(unsigned char octet)
{
    return octet >= 0x80 && octet < 0xA0 ? tableHaute[octet - 0x80] : char16_t(octet);
}

QString Windows1252::versTexte(const QByteArray &octets)
{
    QString texte(octets.size(), Qt::Uninitialized);
    QChar *sortie = texte.data();
    for (qsizetype i = 0; i < octets.size(); ++i)
        sortie[i] = QChar(codeCaractere(static_cast<unsigned char>(octets[i])));
    return texte;
}

QByteArray Windows1252::depuisTexte(const QString &texte)
{
    QByteArray octets(texte.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < texte.size(); ++i) {
        const int octet = octetDe(texte[i].unicode());
        octets[i] = char(octet < 0 ? '?' : octet);
    }
    return octets;
}
