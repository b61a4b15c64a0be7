#include "PortCom.h"

QString PortCom::lettreParite() const
{
    const QString lettre = mParite.trimmed().toUpper();
    return QStringLiteral("NEOMS").contains(lettre) && lettre.size() == 1 ? lettre : QString();
}

bool PortCom::verifierReglages()
{
    if (mBauds <= 0) {
        mTexteErreur = QStringLiteral("Vitesse refusée : %1 bauds.").arg(mBauds);
        return false;
    }
    if (lettreParite().isEmpty()) {
        mTexteErreur = QStringLiteral("Parité inconnue : « %1 » (n, e, o, m ou s attendu).").arg(mParite.trimmed());
        return false;
    }
    if (mBitsDonnees < 5 || mBitsDonnees > 8) {
        mTexteErreur = QStringLiteral("Nombre de bits de données refusé : %1 (5 à 8).").arg(mBitsDonnees);
        return false;
    }
    if (mBitsStop != 1 && mBitsStop != 2) {
        mTexteErreur = QStringLiteral("Nombre de bits d'arrêt refusé : %1 (1 ou 2).").arg(mBitsStop);
        return false;
    }
    return true;
}
