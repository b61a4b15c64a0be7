#include "auxwindows/CaseACocher.h"

#include "platform/EtatCase.h"

void CaseACocher::setValeur(int valeur)
{
    if (valeur == EtatCase::Grise) {
        setTristate(true);
        setCheckState(Qt::PartiallyChecked);
        return;
    }
    setCheckState(valeur == EtatCase::Coche ? Qt::Checked : Qt::Unchecked);
}

int CaseACocher::valeur() const
{
    switch (checkState()) {
    case Qt::Checked: return EtatCase::Coche;
    case Qt::PartiallyChecked: return EtatCase::Grise;
    case Qt::Unchecked: break;
    }
    return EtatCase::Decoche;
}

void CaseACocher::nextCheckState()
{
    setCheckState(checkState() == Qt::Unchecked ? Qt::Checked : Qt::Unchecked);
}
