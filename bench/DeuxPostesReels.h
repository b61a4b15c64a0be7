#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// Two windowless stations in real time, A calling B, over a navette-modem started with the
// options given (115200 baud and more). Stopped, modem included, when this object goes.
class DeuxPostesReels
{
public:
    // clesPostes: more keys for both stations' sections.
    explicit DeuxPostesReels(const QStringList &optionsModem, quint16 premierPort, const QByteArray &clesPostes = {});
    ~DeuxPostesReels();
    // False, with the reason on stderr, when the modem did not start.
    bool demarre() const { return mDemarre; }
    QString chemin(const QString &nom) const { return mDossier.filePath(nom); }
    // Started, linked (a minute at most), and the scanner's first pass behind (it comes
    // 9 + 3 s after the link is up; from then on every 3 s). Says why not on stderr.
    bool prets() const;
    // Drops a file whole into A's outgoing folder: seconds until it is whole at B, or -1 when
    // it did not arrive within limiteMs or arrived different.
    double livrer(const QString &nom, const QByteArray &contenu, qint64 limiteMs) const;
    // The same file dropped into both outgoing folders at the same moment (under nom with
    // "a-" and "b-" in front): seconds until both are whole on the other side, or -1.
    double croiser(const QString &nom, const QByteArray &contenu, qint64 limiteMs) const;

    // Steady load: a file every second into both outgoing folders for dureeS seconds, then
    // up to a minute more. Per way, files delivered, the longest wait and what is left.
    struct Sens
    {
        int deposes = 0, livres = 0, restes = 0;
        double attenteMaxS = 0;
    };
    std::pair<Sens, Sens> chargeReguliere(const std::function<QByteArray(int)> &contenu, int dureeS) const;

    // With the modem started with --compter: the bytes it handed to A and to B so far.
    std::pair<qint64, qint64> octetsRemis();
    // The station's process, for its resident memory.
    qint64 pid(bool a) const { return (a ? mA : mB).processId(); }

    // Lets events run until condition() holds or limiteMs have passed.
    static bool attendre(const std::function<bool()> &condition, qint64 limiteMs);

private:
    QProcess mModem, mA, mB;
    QTemporaryDir mDossier;
    bool mDemarre = false;
    QByteArray mSortieModem;
    std::pair<qint64, qint64> mRemis;
};
