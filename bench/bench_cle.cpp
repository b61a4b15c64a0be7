// Cost of the data key, per character read: on a full file part and on a 10 MB text.
#include "link/shared/MGlobal.h"

#include <QElapsedTimer>

#include <cstdio>
#include <random>

namespace {
double nsParCaractere(const QByteArray &texte, int repetitions)
{
    QElapsedTimer chrono;
    chrono.start();
    qint64 total = 0;
    for (int i = 0; i < repetitions; ++i)
        total += MGlobal::CleDonnees(texte).size();
    const double ns = double(chrono.nsecsElapsed()) / repetitions / double(texte.size());
    return total > 0 ? ns : 0;
}
}

int main()
{
    std::mt19937 alea(42);
    QByteArray texte(10'000'000, Qt::Uninitialized);
    for (char &c : texte)
        c = char(alea());
    std::printf("cle_ns_par_caractere_part: %.3f\n", nsParCaractere(texte.left(1024), 20000));
    std::printf("cle_ns_par_caractere_10mo: %.4f\n", nsParCaractere(texte, 200));
    return 0;
}
