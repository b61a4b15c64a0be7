#pragma once

#include <QCheckBox>

// A check box with the values the windows keep (EtatCase). A click moves it
// between clear and ticked only (grey goes to clear); grey is set from code. Qt numbers its
// states otherwise (grey is its 1): always go through valeur() and setValeur().
class CaseACocher : public QCheckBox
{
public:
    using QCheckBox::QCheckBox;
    void setValeur(int valeur);
    int valeur() const;

protected:
    void nextCheckState() override;
};
