#include "link/MiseALHeure.h"

#include "platform/Plateforme.h"

#include <algorithm>

QDate MiseALHeure::dateDeConstruction()
{
    return QDate::fromString(QStringLiteral(NAVETTE_DATE_CONSTRUCTION), Qt::ISODate);
}

void MiseALHeure::regler(const QByteArray &texte, qint64 ecartMaxS, const QString &source)
{
    // The digits come from the other station: check them before touching the clock.
    const QDate date(texte.mid(7, 4).toInt(), texte.mid(5, 2).toInt(), texte.mid(3, 2).toInt());
    const QTime heure(texte.mid(11, 2).toInt(), texte.mid(13, 2).toInt(), texte.mid(15, 2).toInt());
    const QByteArray chiffres = texte.mid(3, 14);
    const bool queDesChiffres = std::all_of(chiffres.begin(), chiffres.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!queDesChiffres || !date.isValid() || !heure.isValid()) {
        mInformer(QStringLiteral("Heure reçue invalide (%1) : l'horloge n'est pas changée.").arg(QString::fromLatin1(chiffres)));
        return;
    }
    const QDateTime avant = mPlateforme.maintenant(), recue(date, heure);
    if (std::abs(avant.secsTo(recue)) < 2)
        return;
    const QString raison = refus(avant, recue, ecartMaxS);
    if (!raison.isEmpty()) {
        if (!std::exchange(mEcartSignale, true))
            mInformer(raison + QStringLiteral(" : l'horloge n'est pas changée."));
        return;
    }
    QString erreur;
    mEcartSignale = false;
    if (mPlateforme.reglerDateHeure(recue, &erreur)) {
        mRefusSignale = false;
        const QString format = QStringLiteral("dd/MM/yyyy HH:mm:ss");
        mInformer(QStringLiteral("Horloge réglée par le poste distant (%1) : %2 → %3").arg(source, avant.toString(format), recue.toString(format)));
        return;
    }
    // Said once, not at every link test.
    if (!std::exchange(mRefusSignale, true))
        mInformer(QStringLiteral("Mise à l'heure impossible : ") + erreur);
}

QString MiseALHeure::refus(const QDateTime &avant, const QDateTime &recue, qint64 ecartMaxS) const
{
    const QDate construction = dateDeConstruction();
    if (recue.date() < construction)
        return QStringLiteral("Heure reçue (%1) antérieure à la construction du programme (%2)")
            .arg(recue.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), construction.toString(QStringLiteral("dd/MM/yyyy")));
    // A clock before the build date is wrong for sure: any step forward mends it.
    const qint64 ecart = avant.secsTo(recue);
    if (std::abs(ecart) > ecartMaxS && avant.date() >= construction)
        return QStringLiteral("Écart de %1 s avec l'heure du poste distant, au-delà de EcartHorlogeMax (%2 s)").arg(ecart).arg(ecartMaxS);
    return {};
}
