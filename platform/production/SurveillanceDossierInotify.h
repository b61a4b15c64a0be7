#pragma once

#include "platform/SurveillanceDossier.h"

#include <QSocketNotifier>

#include <memory>

// Linux: inotify reports each file closed after writing or moved in; /proc tells which
// processes still hold a file open for writing.
class SurveillanceDossierInotify : public SurveillanceDossier
{
public:
    // Null when the system refuses an inotify instance (limit reached).
    static std::unique_ptr<SurveillanceDossierInotify> creer();
    ~SurveillanceDossierInotify() override;

    bool surveiller(const QString &dossier, QString *raison) override;
    bool surveille() const override { return mVeille >= 0; }
    bool signaleLesFermetures() const override { return true; }
    QSet<QString> ouvertsEnEcriture() const override;

private:
    explicit SurveillanceDossierInotify(int descripteur);
    void lire();

    int mDescripteur;
    int mVeille = -1;
    QString mDossier;
    QSocketNotifier mNotificateur;
};
