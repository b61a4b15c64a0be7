#include "platform/PortCom.h"

QString PortCom::lettreParite() const
{
    const QString lettre = mParite.trimmed().toUpper();
    return QStringLiteral("NEOMS").contains(lettre) && lettre.size() == 1 ? lettre : QString();
}

bool PortCom::verifierReglages(QString *raison)
{
    if (mBauds <= 0) {
        return refuser(raison, QStringLiteral("Vitesse refusée : %1 bauds.").arg(mBauds));
    }
    if (lettreParite().isEmpty()) {
        return refuser(raison, QStringLiteral("Parité inconnue : « %1 » (n, e, o, m ou s attendu).").arg(mParite.trimmed()));
    }
    if (mBitsDonnees < 5 || mBitsDonnees > 8) {
        return refuser(raison, QStringLiteral("Nombre de bits de données refusé : %1 (5 à 8).").arg(mBitsDonnees));
    }
    if (mBitsStop != 1 && mBitsStop != 2) {
        return refuser(raison, QStringLiteral("Nombre de bits d'arrêt refusé : %1 (1 ou 2).").arg(mBitsStop));
    }
    return true;
}
