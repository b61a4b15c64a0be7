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
    // Until A's journal says the link is up, a minute at most.
    bool relies() const;

    // Lets events run until condition() holds or limiteMs have passed.
    static bool attendre(const std::function<bool()> &condition, qint64 limiteMs);

private:
    QProcess mModem, mA, mB;
    QTemporaryDir mDossier;
    bool mDemarre = false;
};
