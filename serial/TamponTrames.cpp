#include "serial/TamponTrames.h"

#include "platform/Windows1252.h"

namespace {
// What a modem prints when the carrier goes.
const QByteArray noCarrier("\r\nNO CARRIER\r\n");

QByteArray octets(const char *texteUtf8)
{
    return Windows1252::depuisTexte(QString::fromUtf8(texteUtf8));
}
}

QByteArray TamponTrames::encoderEntete(qint64 longueur)
{
    Q_ASSERT(longueur >= 0 && longueur <= longueurMaximale);
    QByteArray entete(3, '\0');
    entete[0] = char(longueur / 65536);
    entete[1] = char((longueur % 65536) / 256);
    entete[2] = char(longueur % 256);
    return entete;
}

qint32 TamponTrames::decoderEntete(const QByteArray &texte)
{
    if (texte.size() < 3)
        return 0;
    const auto c = [&](int i) { return qint32(static_cast<unsigned char>(texte[i])); };
    return 65536 * c(0) + 256 * c(1) + c(2);
}

void TamponTrames::vider()
{
    mTexte.clear();
    mLongueur = 0;
}

bool TamponTrames::garderTramesSuivantes(bool rendreEntete)
{
    if (mLongueur > 0 && rendreEntete)
        mTexte.prepend(STX + encoderEntete(mLongueur));
    else if (mLongueur > 0)
        mTexte.clear();
    mLongueur = 0;
    const qsizetype stx = mTexte.indexOf(STX);
    if (stx < 0) {
        mTexte.clear();
        return false;
    }
    mTexte.remove(0, stx);
    return true;
}

TamponTrames::Entete TamponTrames::lireEntete()
{
    for (;;) {
        const qsizetype stx = mTexte.indexOf(STX);
        if (stx < 0)
            return Entete::Absente;
        mTexte.remove(0, stx);
        // A port may hand the header over one byte at a time: decoding it early would lose the
        // frame, so the STX stays in the buffer until its three length characters are in.
        if (mTexte.size() < 4)
            return Entete::Incomplete;
        mTexte.remove(0, 1);
        const qint32 longueur = decoderEntete(mTexte);
        if (longueur > longueurTrameMax)
            continue; // noise: the next STX may begin the real frame, even inside these three
        mLongueur = longueur;
        if (mLongueur > 0)
            mTexte.remove(0, 3);
        ++mEntetesLus;
        return Entete::Lue;
    }
}

QByteArray TamponTrames::prendreTrame()
{
    const qsizetype longueur = mLongueur > 0 ? mLongueur : std::min<qsizetype>(3, mTexte.size());
    const QByteArray trame = mTexte.left(longueur);
    mTexte.remove(0, longueur);
    mLongueur = 0;
    return trame;
}

bool TamponTrames::porteusePerdueHorsTrame()
{
    const QByteArray sansFin = noCarrier.chopped(2); // its last line end may still be on its way
    const qsizetype stx = mTexte.indexOf(STX);
    const qsizetype code = mTexte.indexOf(sansFin);
    if (code < 0 || (stx >= 0 && stx < code))
        return false;
    mTexte.remove(0, code + sansFin.size());
    return true;
}

TamponTrames::FinDeTrame TamponTrames::porteuseEnFinDeTrame()
{
    // A frame cut off by the carrier's loss a few characters before its end: the modem's
    // code makes up its length. Its last characters hold the code, or begin it.
    if (mLongueur == 0)
        return FinDeTrame::Entiere;
    const qsizetype fin = std::min<qsizetype>(mLongueur, mTexte.size());
    const qsizetype debut = std::max<qsizetype>(0, fin - 2 * noCarrier.size());
    const qsizetype code = mTexte.indexOf(noCarrier, debut);
    if (code >= 0 && code < fin) {
        mTexte.remove(0, code + noCarrier.size());
        mLongueur = 0;
        return FinDeTrame::PorteusePerdue;
    }
    for (qsizetype k = std::min<qsizetype>(noCarrier.size() - 1, fin); k >= 4; --k) {
        const QByteArray suite = mTexte.mid(fin - k);
        if (suite.size() < noCarrier.size() && noCarrier.startsWith(suite))
            return FinDeTrame::CodeEnCours;
    }
    return FinDeTrame::Entiere;
}

bool TamponTrames::porteuseDansTrame(qsizetype arrives) const
{
    // The carrier lost in the middle of a frame: its code lands inside the frame's text, and
    // the frame never ends (what may still come is the modem's echo of what we write). A
    // frame that merely contains these words goes on arriving and ends.
    if (mLongueur == 0 || arrives <= 0)
        return false;
    const qsizetype debut = std::max<qsizetype>(0, mTexte.size() - arrives - noCarrier.size());
    return mTexte.indexOf(noCarrier, debut) >= 0;
}

std::optional<TamponTrames::CodeModem> TamponTrames::codeModem(bool enLigne)
{
    static const QByteArray crlf("\r\n");
    const qsizetype connect = enLigne ? -1 : mTexte.indexOf(crlf + "CONNECT ");
    if (connect >= 0) {
        mTexte.remove(0, connect);
        if (mTexte.size() < 15)
            return std::nullopt;
        return CodeModem{CodeModem::Genre::Connecte, octets("Connecté à ") + mTexte.mid(10, 5)};
    }
    static const struct
    {
        const char *code;
        CauseDeconnexion cause;
    } echecs[] = {{"BUSY", CauseDeconnexion::PosteOccupe},
                  {"NO DIAL TONE", CauseDeconnexion::PasDeTonalite},
                  {"NO CARRIER", CauseDeconnexion::PorteusePerdue}};
    for (const auto &e : echecs)
        if (mTexte.contains(crlf + e.code))
            return CodeModem{CodeModem::Genre::Echec, Windows1252::depuisTexte(texteCause(e.cause)), e.cause};
    if (!enLigne && mTexte.contains(crlf + "RING"))
        return CodeModem{CodeModem::Genre::Sonnerie, QByteArrayLiteral("RING")};
    return std::nullopt;
}

void TamponTrames::limiterHorsTrame()
{
    if (mTexte.size() > tailleMaxHorsTrame)
        mTexte.remove(0, mTexte.size() - 1024);
}
