#pragma once

#include <QByteArray>

class CanalLiaison;

// Which station calls: this one asks the other to be called ("JESUISAPPELANT"), or is asked,
// answers, and starts again as the called one.
class RolePoste
{
public:
    explicit RolePoste(CanalLiaison &canal) : mCanal(canal) {}

    // True once this station calls; the other's number is asked when none is set.
    bool devenirAppelant();
    bool surDemandeAppelant(const QByteArray &texte);

private:
    CanalLiaison &mCanal;
};
