#include "mainwindow/VueConsole.h"

#include "link/CInterlocuteur.h"

#include <QDateTime>

#include <cstdio>

void VueConsole::ecrire(const QString &texte)
{
    std::printf("%s [%s] %s\n", qUtf8Printable(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
                qUtf8Printable(mPoste), qUtf8Printable(texte));
    std::fflush(stdout);
}

void VueConsole::rafraichir(FMain &fenetre)
{
    if (fenetre.Poste())
        mPoste = fenetre.Poste()->Index;
    if (fenetre.caption() == mCaption)
        return;
    mCaption = fenetre.caption();
    ecrire(QStringLiteral("Titre : ") + mCaption);
}

void VueConsole::ligneAjoutee(const QString &liste, const QString &ligne)
{
    ecrire(liste + QStringLiteral(" : ") + ligne);
}

void VueConsole::quitter(int code)
{
    if (mFini)
        return;
    mFini = true;
    std::fflush(nullptr);
    if (mQuitter)
        mQuitter(code);
}
