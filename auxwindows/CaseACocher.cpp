#include "CaseACocher.h"

void CaseACocher::setValeur(int valeur)
{
    if (valeur == 2) {
        setTristate(true);
        setCheckState(Qt::PartiallyChecked);
        return;
    }
    setCheckState(valeur == 1 ? Qt::Checked : Qt::Unchecked);
}

int CaseACocher::valeur() const
{
    switch (checkState()) {
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    case Qt::Unchecked: break;
    }
    return 0;
}

void CaseACocher::nextCheckState()
{
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}
