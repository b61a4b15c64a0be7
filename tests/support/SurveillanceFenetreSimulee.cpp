#include "tests/support/SurveillanceFenetreSimulee.h"

QMap<QString, SurveillanceFenetreSimulee *> &SurveillanceFenetreSimulee::annuaire()
{
    static QMap<QString, SurveillanceFenetreSimulee *> noms;
    return noms;
}

SurveillanceFenetreSimulee::~SurveillanceFenetreSimulee()
{
    if (annuaire().value(mCaption) == this)
        annuaire().remove(mCaption);
}

bool SurveillanceFenetreSimulee::setFenetre(const QString &caption, QString *raison)
{
    if (annuaire().value(mCaption) == this)
        annuaire().remove(mCaption);
    mCaption = caption;
    if (annuaire().contains(caption))
        return refuser(raison, QStringLiteral("Une autre instance de Navette sert déjà « %1 ».").arg(caption));
    annuaire().insert(caption, this);
    return true;
}

bool SurveillanceFenetreSimulee::envoyer(const QString &caption, qint32 msg, qint32 wParam, QString *reponse)
{
    SurveillanceFenetreSimulee *cible = annuaire().value(caption);
    if (!cible)
        return false;
    const QString r = cible->recevoir(msg, wParam, 0);
    if (reponse)
        *reponse = r;
    return true;
}
