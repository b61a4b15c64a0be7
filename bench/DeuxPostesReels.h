#pragma once

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// Two windowless stations in real time, A calling B, over a navette-modem started with the
// options given (115200 baud and more). Stopped, modem included, when this object goes.
class DeuxPostesReels
{
public:
    explicit DeuxPostesReels(const QStringList &optionsModem, quint16 premierPort);
    ~DeuxPostesReels();
    // False, with the reason on stderr, when the modem did not start.
    bool demarre() const { return mDemarre; }
    QString chemin(const QString &nom) const { return mDossier.filePath(nom); }

private:
    QProcess mModem, mA, mB;
    QTemporaryDir mDossier;
    bool mDemarre = false;
};
