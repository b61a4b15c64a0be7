#pragma once

#include "serial/CauseDeconnexion.h"

#include <QByteArray>

#include <optional>

// What came on the line and is not handled yet: the frame being read (STX, three length
// characters, the text) and, outside frames, the modem's result codes. It only reads: what
// to do with a frame, a carrier lost or a code is the driver's.
class TamponTrames
{
public:
    static constexpr char STX = '\x02';
    static constexpr qint32 longueurMaximale = 16'777'215;
    // The longest frame either side sends: a file part is about 1,060 characters, a message
    // at most a few thousand. A header announcing more is a noise byte in its length.
    static constexpr qint32 longueurTrameMax = 4096;
    static constexpr qint32 tailleMaxHorsTrame = 65536; // kept of what arrives outside any frame

    // longueur must lie within 0 to longueurMaximale.
    static QByteArray encoderEntete(qint64 longueur);
    static qint32 decoderEntete(const QByteArray &texte);

    void ajouter(const QByteArray &texte) { mTexte += texte; }
    const QByteArray &texte() const { return mTexte; }
    void vider();
    // After a wait: a frame whose header was read gets it back when rendreEntete, else goes;
    // what precedes the next STX goes. True when a frame may follow.
    bool garderTramesSuivantes(bool rendreEntete);

    // The length of the frame whose header was read; 0 between frames.
    qint32 longueurAttendue() const { return mLongueur; }
    bool trameComplete() const { return mTexte.size() >= mLongueur; }
    // Frames begun, so that a later check knows its frame.
    quint32 entetesLus() const { return mEntetesLus; }
    enum class Entete { Absente, Incomplete, Lue };
    // Finds the frame's STX, drops what precedes it and, once the three length characters
    // are in, takes its length and drops the header.
    Entete lireEntete();
    // The frame read (a zero length leaves its three header characters as the text).
    QByteArray prendreTrame();
    QByteArray trame() const { return mTexte.left(mLongueur); }

    // "NO CARRIER" outside a frame: dropped with what precedes it.
    bool porteusePerdueHorsTrame();
    enum class FinDeTrame {
        Entiere,
        PorteusePerdue, // the code makes up the frame's end: dropped
        CodeEnCours,    // the frame ends on the code's first characters: its rest may come
    };
    FinDeTrame porteuseEnFinDeTrame();
    // The code among the last characters arrived, inside the frame being read.
    bool porteuseDansTrame(qsizetype arrives) const;

    // A modem's result code outside frames; once connected, only the failures.
    struct CodeModem
    {
        enum class Genre { Connecte, Echec, Sonnerie } genre;
        QByteArray texte; // what the owner is told
        CauseDeconnexion cause = CauseDeconnexion::Inconnue; // of an Echec
    };
    std::optional<CodeModem> codeModem(bool enLigne);
    // Noise on an idle line would otherwise pile up for months, and every search with it.
    void limiterHorsTrame();

private:
    QByteArray mTexte;
    qint32 mLongueur = 0;
    quint32 mEntetesLus = 0;
};
