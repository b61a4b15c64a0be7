#pragma once

#include "auxwindows/FMsgBoxTempo.h"

#include <QDialog>

class QLabel;
class QPushButton;

// The timed box's window: draws what FMsgBoxTempo holds and hands clicks and keys back to it.
class FenetreMsgBoxTempo : public QDialog, public VueMsgBoxTempo
{
public:
    explicit FenetreMsgBoxTempo(QWidget *parent = nullptr);

    void montrer(FMsgBoxTempo &boite) override;
    void rafraichir(FMsgBoxTempo &boite) override;
    void cacher() override;

protected:
    void reject() override;
    void changeEvent(QEvent *evenement) override;

private:
    void disposer();

    FMsgBoxTempo *mBoite = nullptr;
    QLabel *mMessage;
    QLabel *mTpsRestant;
    QPushButton *mOK;
    QPushButton *mAnnuler;
    bool mEtatApplique = false;
};
