#pragma once

// The files the benchmarks send: 256 KiB each, the same on every run.
#include <QByteArray>

#include <random>

inline QByteArray fichierAleatoire()
{
    std::mt19937 alea(11);
    QByteArray o(256 * 1024, Qt::Uninitialized);
    for (char &c : o)
        c = char(alea());
    return o;
}

// Rows as a station exports them: date, site code, product code, quantity, amount.
inline QByteArray fichierCsv()
{
    std::mt19937 alea(12);
    QByteArray o = "date;site;produit;quantite;montant\r\n";
    int jour = 1;
    while (o.size() < 256 * 1024) {
        if (alea() % 40 == 0)
            jour = jour % 28 + 1;
        o += QByteArray::number(jour).rightJustified(2, '0') + "/03/2026;S" + QByteArray::number(100 + alea() % 40) + ";P"
            + QByteArray::number(alea() % 2000).rightJustified(5, '0') + ";" + QByteArray::number(1 + alea() % 500) + ";"
            + QByteArray::number(alea() % 100000) + "," + QByteArray::number(alea() % 100).rightJustified(2, '0') + "\r\n";
    }
    o.truncate(256 * 1024);
    return o;
}
