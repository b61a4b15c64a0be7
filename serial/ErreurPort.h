#pragma once

#include <QString>

// A port failure, said as "Erreur de port : [numero]description".
struct ErreurPort
{
    enum Numero : int {
        Depassement = 6,
        Indice = 9,
        Type = 13,
        Objet = 91,
    };
    int numero;
    QString description;

    QString texte() const { return QStringLiteral("Erreur de port : [%1]%2").arg(numero).arg(description); }
};
