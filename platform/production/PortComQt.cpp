#include "platform/production/PortComQt.h"

void PortComQt::brancher(QIODevice *peripherique)
{
    mPeripherique = peripherique;
    QObject::connect(peripherique, &QIODevice::readyRead, &mContexte, [this] { recevoir(); });
}

void PortComQt::recevoir()
{
    mEnAttente += depuisLaLigne(mPeripherique->readAll());
    planifierLivraison();
}

void PortComQt::porteuseTombee()
{
    mChuteEnAttente = true;
    planifierLivraison();
}

void PortComQt::planifierLivraison()
{
    if (mLivraisonPrevue || (mEnAttente.isEmpty() && !mChuteEnAttente))
        return;
    mLivraisonPrevue = true;
    QMetaObject::invokeMethod(&mContexte, [this] { livrer(); }, Qt::QueuedConnection);
}

void PortComQt::livrer()
{
    mLivraisonPrevue = false;
    const QByteArray donnees = std::exchange(mEnAttente, QByteArray());
    // After the bytes: a call to this port's context goes with the port if they tear it down.
    if (std::exchange(mChuteEnAttente, false))
        QMetaObject::invokeMethod(&mContexte, [this] { PorteusePerdue(); }, Qt::QueuedConnection);
    if (!donnees.isEmpty())
        Lecture(donnees); // may tear this port down: nothing after this line
}

void PortComQt::signalerErreur(const QString &texte, int numero)
{
    QMetaObject::invokeMethod(&mContexte, [this, texte, numero] { Erreur(texte, numero); }, Qt::QueuedConnection);
}

void PortComQt::EcrireTexte(const QByteArray &texte)
{
    ecrireBrut(texte);
}

void PortComQt::ecrireBrut(const QByteArray &octets)
{
    if (mPeripherique && mPeripherique->isOpen() && !octets.isEmpty())
        mPeripherique->write(octets);
}

void PortComQt::Fermer()
{
    if (mPeripherique)
        mPeripherique->close();
    mEnAttente.clear();
    setActif(false);
}
