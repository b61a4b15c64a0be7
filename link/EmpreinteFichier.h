#pragma once

#include <QByteArray>
#include <QIODevice>

#include <functional>

// The SHA-256 of what a device holds, read a few mebibytes at a time: between pieces, ceder
// answers the line and says whether to go on. In one go, 100 MiB held the thread 0.5 s.
class EmpreinteFichier
{
public:
    enum class Issue { Faite, Illisible, Arretee };
    static Issue calculer(QIODevice &lu, const std::function<bool()> &ceder, QByteArray &sha256);
};
