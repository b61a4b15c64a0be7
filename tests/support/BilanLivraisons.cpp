#include "tests/support/BilanLivraisons.h"

#include "tests/support/StationSimulee.h"

#include <QDir>
#include <QSet>
#include <QRegularExpression>

QByteArray contenuAuHasard(std::mt19937 &alea)
{
    const int tranche = std::uniform_int_distribution<int>(0, 99)(alea);
    const int taille = tranche < 5    ? 0
                     : tranche < 40   ? std::uniform_int_distribution<int>(1, 300)(alea)
                     : tranche < 70   ? std::uniform_int_distribution<int>(301, 4000)(alea)
                     : tranche < 90   ? std::uniform_int_distribution<int>(4001, 40'000)(alea)
                                      : std::uniform_int_distribution<int>(40'001, 120'000)(alea);
    QByteArray o(taille, Qt::Uninitialized);
    if (alea() % 2) {
        for (char &c : o)
            c = char(alea());
    } else {
        for (int i = 0; i < taille; ++i)
            o[i] = i % 40 == 39 ? '\n' : char('0' + (alea() % 16 == 0 ? alea() % 10 : i % 7));
    }
    return o;
}

QMultiHash<QString, QByteArray> arrivees(const QString &dossier)
{
    static const QRegularExpression horodate(QStringLiteral("^\\d{6} \\d{6}(?: \\(\\d+\\))? (.+)$"));
    QMultiHash<QString, QByteArray> recus;
    for (const QString &nom : QDir(dossier).entryList(QDir::Files)) {
        const auto m = horodate.match(nom);
        recus.insert(m.hasMatch() ? m.captured(1) : nom, lireFichier(QDir(dossier).filePath(nom)));
    }
    return recus;
}

Bilan bilan(const QList<Envoi> &envois, const QMultiHash<QString, QByteArray> &recus, const QString &sortie)
{
    Bilan b;
    // A small file travels without any check: its name too may arrive damaged.
    QSet<QString> noms;
    for (const Envoi &e : envois)
        noms << e.nom;
    QList<qsizetype> taillesInconnues;
    for (auto it = recus.cbegin(); it != recus.cend(); ++it)
        if (!noms.contains(it.key()))
            taillesInconnues << it.value().size();
    for (const Envoi &e : envois) {
        const QList<QByteArray> copies = recus.values(e.nom);
        const int intactes = int(std::count(copies.begin(), copies.end(), e.contenu));
        const bool petit = e.contenu.size() <= 300;
        if (petit && copies.isEmpty() && taillesInconnues.removeOne(e.contenu.size())) {
            ++b.petitsAbimes;
            continue;
        }
        b.livres += intactes > 0 || (petit && copies.size() == 1);
        b.perdus += copies.isEmpty();
        (petit ? b.petitsAbimes : b.abimes) += int(copies.size()) - intactes;
        b.doubles += std::max(0, int(petit ? copies.size() : intactes) - 1);
        b.octetsLivres += intactes > 0 ? e.contenu.size() : 0;
    }
    b.enAttente = int(QDir(sortie).entryList(QDir::Files).size());
    return b;
}

QString Bilan::texte() const
{
    return QStringLiteral("livrés %1, perdus %2, abîmés %3 (+%4 petits sans contrôle), doublés %5, en attente %6")
        .arg(livres)
        .arg(perdus)
        .arg(abimes)
        .arg(petitsAbimes)
        .arg(doubles)
        .arg(enAttente);
}
