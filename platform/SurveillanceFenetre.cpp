#include "platform/SurveillanceFenetre.h"

QString SurveillanceFenetre::recevoir(qint32 msg, qint32 wParam, qint32 lParam)
{
    if (msg == messageEtat)
        return repondreEtat ? repondreEtat(wParam == 1) : QString();
    qint32 resultat = 0;
    if (msg == mSurveille)
        EventWindows(msg, wParam, lParam, resultat);
    return QString::number(resultat);
}
