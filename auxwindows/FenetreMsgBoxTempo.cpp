#include "auxwindows/FenetreMsgBoxTempo.h"

#include "platform/EtatFenetre.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>

namespace {
// The layout rules are in twips; at 96 dots per inch a pixel is 15 twips.
constexpr int pixels(int twips)
{
    return (twips + 7) / 15;
}
}

FenetreMsgBoxTempo::FenetreMsgBoxTempo(QWidget *parent)
    : QDialog(parent),
      mMessage(new QLabel(this)),
      mTpsRestant(new QLabel(this)),
      mOK(new QPushButton(QStringLiteral("&Ok"), this)),
      mAnnuler(new QPushButton(QStringLiteral("&Annuler"), this))
{
    setObjectName(QStringLiteral("FMsgBoxTempo"));
    mMessage->setObjectName(QStringLiteral("lblMessage"));
    mTpsRestant->setObjectName(QStringLiteral("lblTpsRestant"));
    mOK->setObjectName(QStringLiteral("BtnOK"));
    mAnnuler->setObjectName(QStringLiteral("BtnAnnuler"));
    mMessage->setTextFormat(Qt::PlainText);
    mOK->setFixedSize(pixels(1215), pixels(495));
    mAnnuler->setFixedSize(pixels(1215), pixels(495));
    connect(mOK, &QPushButton::clicked, this, [this] {
        if (mBoite)
            mBoite->BtnOK_Click();
    });
    connect(mAnnuler, &QPushButton::clicked, this, [this] {
        if (mBoite)
            mBoite->BtnAnnuler_Click();
    });
    setWindowModality(Qt::ApplicationModal);
}

void FenetreMsgBoxTempo::montrer(FMsgBoxTempo &boite)
{
    mBoite = &boite;
    setWindowTitle(boite.caption());
    QString message = boite.lblMessage();
    message.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    mMessage->setText(message);
    mTpsRestant->setText(boite.lblTpsRestant());
    mOK->setDefault(boite.okParDefaut());
    mAnnuler->setDefault(!boite.okParDefaut());
    (boite.okParDefaut() ? mOK : mAnnuler)->setFocus();
    disposer();
    mEtatApplique = false;
    show();
}

void FenetreMsgBoxTempo::rafraichir(FMsgBoxTempo &boite)
{
    mTpsRestant->setText(boite.lblTpsRestant());
    disposer();
}

void FenetreMsgBoxTempo::cacher()
{
    hide();
    mBoite = nullptr;
}

void FenetreMsgBoxTempo::disposer()
{
    mMessage->adjustSize();
    mTpsRestant->adjustSize();
    const QRect message(QPoint(pixels(180), pixels(180)), mMessage->size());
    const DispositionMsgBoxTempo d = FMsgBoxTempo::disposer(message, mTpsRestant->size(), mOK->size(), pixels(100), pixels(100));
    mMessage->move(message.topLeft());
    mTpsRestant->move(d.tpsRestant);
    mOK->move(d.boutonOK);
    mAnnuler->move(d.boutonAnnuler);
    setFixedSize(std::max(d.largeurFenetre, 2 * mOK->width() + pixels(400)), d.hauteurFenetre);
}

void FenetreMsgBoxTempo::reject()
{
    // Escape, or the window's close button: the cancel button decides.
    if (mBoite)
        mBoite->appuyerEchap();
}

void FenetreMsgBoxTempo::changeEvent(QEvent *evenement)
{
    QDialog::changeEvent(evenement);
    // The state asked for applies at the first activation only: re-applying "minimised" at
    // every activation would hide the box again each time the user brings it back.
    if (evenement->type() != QEvent::ActivationChange || !isActiveWindow() || mEtatApplique || !mBoite)
        return;
    mEtatApplique = true;
    if (mBoite->typeFenetre() == EtatFenetre::Minimisee)
        setWindowState(windowState() | Qt::WindowMinimized);
    else if (mBoite->typeFenetre() == EtatFenetre::Agrandie)
        setWindowState(windowState() | Qt::WindowMaximized);
}
