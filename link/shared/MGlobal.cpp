#include "link/shared/MGlobal.h"

#include "platform/BoitesMessage.h"
#include "platform/Plateforme.h"
#include "platform/Windows1252.h"

namespace {
// The character's 16-bit code read as a signed number.
qint32 code(const QByteArray &texte, qsizetype position1)
{
    return qint16(Windows1252::codeCaractere(static_cast<unsigned char>(texte[position1 - 1])));
}

qint32 terme(qint32 c, qint32 i)
{
    const qint32 reste = c < i ? i % c : c % i;
    return reste + c;
}
}

QByteArray MGlobal::CleDonnees(const QByteArray &Texte)
{
    const qint64 L = Texte.size();
    double S = 0;
    for (qint64 i = 1; i <= std::min<qint64>(L, 2048); ++i) {
        const qint32 c = code(Texte, i);
        if (c != 0)
            S += double(terme(c, qint32(i)));
    }
    for (qint64 i = 2049; i <= std::min<qint64>(L, 1'000'000); i += 10) {
        const qint32 c = code(Texte, i);
        if (c != 0)
            S += double(terme(c, qint32(i)));
    }
    for (qint64 i = 1'000'001; i <= L; i += 100) {
        const qint32 c = code(Texte, i);
        if (c > 0)
            S += double(c % i + c);
    }
    return QByteArray::number(qint64(S));
}

void MGlobal::Attendre(Plateforme &plateforme, qint32 millisecondes)
{
    for (qint64 k = 1; k <= millisecondes; k += 250)
        plateforme.attendreQue([] { return false; }, 250);
}

int MGlobal::AfficherMessage(BoitesMessage &boites, const QString &message, int boutons, const QString &titre)
{
    return boites.afficher(message, boutons, titre);
}

QString MGlobal::TexteDistant(const QString &texte, qsizetype longueurMax)
{
    QString sur;
    for (const QChar c : texte) {
        if (sur.size() >= longueurMax) {
            sur += QStringLiteral(" […]");
            break;
        }
        const char16_t u = c.unicode();
        const bool controle = u < 0x20 || u == 0x7F || (u >= 0x80 && u < 0xA0) || u == 0x2028 || u == 0x2029;
        sur += controle ? QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0')) : QString(c);
    }
    return sur;
}
