#include "platform/Journal.h"

#include "platform/Disque.h"
#include "platform/Plateforme.h"

#include <QDir>
#include <QFileInfo>

Journal::Journal(QString chemin, QString poste, Plateforme &plateforme, qint64 tailleMax, int fichiers)
    : mChemin(std::move(chemin)), mPoste(std::move(poste)), mPlateforme(plateforme), mTailleMax(tailleMax), mFichiers(fichiers)
{
}

void Journal::tourner()
{
    // journal.log -> journal.log.1 -> ... ; the oldest goes.
    mFichier.close();
    QFile::remove(mChemin + QLatin1Char('.') + QString::number(mFichiers - 1));
    for (int i = mFichiers - 2; i >= 1; --i)
        QFile::rename(mChemin + QLatin1Char('.') + QString::number(i), mChemin + QLatin1Char('.') + QString::number(i + 1));
    QFile::rename(mChemin, mChemin + QStringLiteral(".1"));
}

void Journal::noter(const QString &genre, const QString &texte)
{
    QString propre = texte;
    propre.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\t'), QLatin1Char(' '));
    const QByteArray ligne = (mPlateforme.maintenant().toString(Qt::ISODate) + QLatin1Char('\t') + mPoste + QLatin1Char('\t') + genre
                              + QLatin1Char('\t') + propre + QLatin1Char('\n'))
                                 .toUtf8();
    if (mFichier.isOpen() && mFichier.size() + ligne.size() > mTailleMax)
        tourner();
    if (!mFichier.isOpen()) {
        QDir().mkpath(QFileInfo(mChemin).absolutePath());
        // A link planted at the journal's name would have us append to anything.
        Disque::ouvrirSansLien(mFichier, mChemin, QIODevice::WriteOnly | QIODevice::Append, mErreurOuverture);
        if (mFichier.isOpen() && mFichier.size() + ligne.size() > mTailleMax && mFichier.size() > 0) {
            tourner();
            Disque::ouvrirSansLien(mFichier, mChemin, QIODevice::WriteOnly | QIODevice::Append, mErreurOuverture);
        }
    }
    const bool ecrit = mFichier.isOpen() && mFichier.write(ligne) == ligne.size() && mFichier.flush();
    if (ecrit == !mEnErreur)
        return;
    mEnErreur = !ecrit;
    const QString raison = mFichier.isOpen() ? mFichier.errorString() : mErreurOuverture;
    if (!ecrit)
        mFichier.close(); // tried afresh at the next line
    Avertissement(ecrit ? QStringLiteral("Le journal %1 s'écrit de nouveau.").arg(mChemin)
                        : QStringLiteral("Le journal %1 ne s'écrit plus (%2) : le poste continue sans lui.").arg(mChemin, raison));
}
