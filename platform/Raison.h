#pragma once

#include <QString>

// The error convention of platform/: an operation that may fail returns false and, when the
// caller gave somewhere to put it, says why in French.
inline bool refuser(QString *raison, const QString &texte)
{
    if (raison)
        *raison = texte;
    return false;
}
