#include "FichierIni.h"

#include "Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {
QString uneLigne(QString texte)
{
    texte.replace(QLatin1Char('\r'), QLatin1Char(' '));
    texte.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return texte;
}
}

void FichierIni::setFichier(const QString &chemin)
{
    mFichier = chemin;
}

bool FichierIni::memeNom(const QString &a, const QString &b)
{
    return a.trimmed().compare(b.trimmed(), Qt::CaseInsensitive) == 0;
}

FichierIni::Ligne FichierIni::analyser(const QByteArray &brut, const QString &sectionCourante, bool utf8)
{
    Ligne ligne;
    ligne.brut = brut;
    ligne.section = sectionCourante;
    const QString entier = utf8 ? QString::fromUtf8(brut) : Windows1252::versTexte(brut);
    const QString texte = entier.trimmed();
    if (texte.startsWith(QLatin1Char('[')) && texte.lastIndexOf(QLatin1Char(']')) > 0) {
        ligne.enTete = true;
        ligne.section = texte.mid(1, texte.lastIndexOf(QLatin1Char(']')) - 1).trimmed();
        return ligne;
    }
    if (texte.startsWith(QLatin1Char(';')) || texte.startsWith(QLatin1Char('#')))
        return ligne;
    const int egal = texte.indexOf(QLatin1Char('='));
    if (egal > 0) {
        ligne.cle = texte.left(egal).trimmed();
        // The value is everything after the sign, blanks included: " n" is a parity.
        ligne.valeur = entier.mid(entier.indexOf(QLatin1Char('=')) + 1);
    }
    return ligne;
}

void FichierIni::charger()
{
    // Read again every time: someone may have edited the file since, and it is small.
    mLignes.clear();
    QFile fichier(mFichier);
    if (!fichier.open(QIODevice::ReadOnly))
        return;
    QByteArray contenu = fichier.readAll();
    if (contenu.startsWith("\xEF\xBB\xBF"))
        contenu.remove(0, 3);
    QStringDecoder verification(QStringDecoder::Utf8);
    const QString essai = verification.decode(contenu);
    const bool utf8 = !verification.hasError();
    mFinDeLigne = contenu.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    QList<QByteArray> lignes = contenu.split('\n');
    if (!lignes.isEmpty() && lignes.last().isEmpty())
        lignes.removeLast(); // the last line end closes the last line
    QString section;
    for (QByteArray &brut : lignes) {
        if (brut.endsWith('\r'))
            brut.chop(1);
        mLignes.append(analyser(brut, section, utf8));
        section = mLignes.last().section;
    }
}

int FichierIni::trouverCle(const QString &section, const QString &cle) const
{
    for (int i = 0; i < mLignes.size(); ++i) {
        const Ligne &l = mLignes[i];
        if (!l.enTete && !l.cle.isEmpty() && memeNom(l.section, section) && memeNom(l.cle, cle))
            return i;
    }
    return -1;
}

bool FichierIni::Lire()
{
    charger();
    const int i = trouverCle(mSection, mCle);
    mValeur = i >= 0 ? mLignes[i].valeur : QString();
    return i >= 0;
}

QStringList FichierIni::Cles(const QString &section)
{
    charger();
    QStringList cles;
    for (const Ligne &l : std::as_const(mLignes))
        if (!l.enTete && !l.cle.isEmpty() && memeNom(l.section, section)
            && !cles.contains(l.cle, Qt::CaseInsensitive))
            cles.append(l.cle);
    return cles;
}

bool FichierIni::Enregistrer()
{
    charger();
    mDerniereErreur.clear();
    const QString cle = uneLigne(mCle).trimmed().replace(QLatin1Char('='), QLatin1Char(' '));
    const QString section = uneLigne(mSection).trimmed();
    if (cle.isEmpty()) {
        mDerniereErreur = QStringLiteral("Nom de clé vide : rien n'est enregistré.");
        return false;
    }
    Ligne nouvelle;
    nouvelle.section = section;
    nouvelle.cle = cle;
    nouvelle.valeur = uneLigne(mValeur);
    nouvelle.brut = (cle + QLatin1Char('=') + nouvelle.valeur).toUtf8();

    QList<Ligne> lignes = mLignes;
    const int existante = trouverCle(section, cle);
    if (existante >= 0) {
        nouvelle.cle = lignes[existante].cle; // keep the spelling the file already has
        nouvelle.brut = (nouvelle.cle + QLatin1Char('=') + nouvelle.valeur).toUtf8();
        lignes[existante] = nouvelle;
    } else {
        int derniere = -1; // last line of the section's first block
        for (int i = 0; i < lignes.size(); ++i) {
            if (lignes[i].enTete && derniere >= 0)
                break;
            if (memeNom(lignes[i].section, section) && (lignes[i].enTete || derniere >= 0))
                derniere = i;
        }
        if (derniere < 0) {
            Ligne enTete;
            enTete.enTete = true;
            enTete.section = section;
            enTete.brut = (QLatin1Char('[') + section + QLatin1Char(']')).toUtf8();
            lignes.append(enTete);
            lignes.append(nouvelle);
        } else {
            while (derniere > 0 && lignes[derniere].brut.trimmed().isEmpty() && !lignes[derniere].enTete)
                --derniere; // before the blank lines that separate sections
            lignes.insert(derniere + 1, nouvelle);
        }
    }

    QByteArray contenu;
    for (const Ligne &l : std::as_const(lignes))
        contenu += l.brut + mFinDeLigne;
    QSaveFile fichier(mFichier);
    if (!fichier.open(QIODevice::WriteOnly) || fichier.write(contenu) != contenu.size() || !fichier.commit()) {
        mDerniereErreur = QStringLiteral("Écriture du fichier %1 impossible : %2").arg(mFichier, fichier.errorString());
        fichier.cancelWriting();
        return false;
    }
    mLignes = lignes;
    return true;
}
