#include "auxwindows/BoitesMessageQt.h"

#include "auxwindows/FMsgBoxTempo.h"
#include "auxwindows/FenetreMsgBoxTempo.h"
#include "platform/Plateforme.h"

#include <QApplication>
#include <QInputDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QTranslator>
#include <QMessageBox>
#include <QPushButton>

int BoitesMessageQt::afficher(const QString &message, int boutons, const QString &titre)
{
    if (mFenetrePrincipale && mFenetrePrincipale->isMinimized()) {
        mFenetrePrincipale->showNormal();
        mFenetrePrincipale->activateWindow();
    }
    QMessageBox boite;
    boite.setWindowTitle(titre.isEmpty() ? QApplication::applicationDisplayName() : titre);
    QString texte = message;
    boite.setText(texte.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    switch (boutons & 0x70) {
    case Boutons::Critique: boite.setIcon(QMessageBox::Critical); break;
    case Boutons::Question: boite.setIcon(QMessageBox::Question); break;
    case Boutons::Exclamation: boite.setIcon(QMessageBox::Warning); break;
    case Boutons::Information: boite.setIcon(QMessageBox::Information); break;
    }
    using B = QMessageBox::StandardButton;
    static const QList<QList<QPair<B, int>>> jeux = {
        {{B::Ok, Reponse::OK}},
        {{B::Ok, Reponse::OK}, {B::Cancel, Reponse::Annuler}},
        {{B::Abort, Reponse::Abandon}, {B::Retry, Reponse::Reessayer}, {B::Ignore, Reponse::Ignorer}},
        {{B::Yes, Reponse::Oui}, {B::No, Reponse::Non}, {B::Cancel, Reponse::Annuler}},
        {{B::Yes, Reponse::Oui}, {B::No, Reponse::Non}},
        {{B::Retry, Reponse::Reessayer}, {B::Cancel, Reponse::Annuler}},
    };
    const auto &jeu = jeux.value(boutons & 7, jeux[0]);
    for (const auto &[bouton, reponse] : jeu)
        boite.addButton(bouton);
    const int rang = (boutons & Boutons::DefautBouton3) ? 2 : (boutons & Boutons::DefautBouton2) ? 1 : 0;
    boite.setDefaultButton(jeu.value(rang, jeu.first()).first);
    boite.setWindowModality(Qt::ApplicationModal);

    bool fini = false;
    QObject::connect(&boite, &QMessageBox::finished, [&fini] { fini = true; });
    boite.open();
    mPlateforme.attendreQue([&fini] { return fini; }, 0xFFFFFFFFu);
    const auto choisi = boite.standardButton(boite.clickedButton());
    for (const auto &[bouton, reponse] : jeu)
        if (bouton == choisi)
            return reponse;
    return reponseParDefaut(boutons);
}

bool BoitesMessageQt::afficherTempo(const QString &message, const QString &titre, int tempsRestant, bool okParDefaut,
                                    int typeFenetre)
{
    FenetreMsgBoxTempo fenetre;
    FMsgBoxTempo boite(mPlateforme, fenetre, QApplication::applicationDisplayName());
    return boite.Afficher(message, titre, tempsRestant, okParDefaut, typeFenetre);
}

QString BoitesMessageQt::saisir(const QString &invite, const QString &titre)
{
    QInputDialog boite;
    boite.setWindowTitle(titre.isEmpty() ? QApplication::applicationDisplayName() : titre);
    boite.setLabelText(invite);
    // The other station's messages come here: shown as they are, never as rich text.
    for (QLabel *etiquette : boite.findChildren<QLabel *>())
        etiquette->setTextFormat(Qt::PlainText);
    boite.setWindowModality(Qt::ApplicationModal);
    bool fini = false;
    QObject::connect(&boite, &QInputDialog::finished, [&fini] { fini = true; });
    boite.open();
    mPlateforme.attendreQue([&fini] { return fini; }, 0xFFFFFFFFu);
    return boite.result() == QDialog::Accepted ? boite.textValue() : QString();
}

bool BoitesMessageQt::installerTraductionFrancaise()
{
    static QTranslator traduction;
    return traduction.load(QStringLiteral("qtbase_fr"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        && QCoreApplication::installTranslator(&traduction);
}
