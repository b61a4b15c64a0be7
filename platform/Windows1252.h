#pragma once

#include <QByteArray>
#include <QString>

// Wire text is bytes; the stations read them through the Windows-1252 code page. The five
// bytes that code page leaves undefined map to the same code point, so every byte survives a
// round trip. One table serves both directions.
namespace Windows1252 {
char16_t codeCaractere(unsigned char octet);
QString versTexte(const QByteArray &octets);
// Characters outside the code page become "?".
QByteArray depuisTexte(const QString &texte);
}
