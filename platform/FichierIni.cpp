#include "platform/FichierIni.h"

#include "platform/Raison.h"
#include "platform/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>
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
    mPrefixe.clear();
    mUtf8 = true;
    mFinDeLigne = "\n";
    QFile fichier(mFichier);
    if (!fichier.open(QIODevice::ReadOnly))
        return;
    QByteArray contenu = fichier.readAll();
    // Byte-order marks, as many as there are, are kept apart and written back as they were.
    while (contenu.startsWith("\xEF\xBB\xBF")) {
        mPrefixe += contenu.left(3);
        contenu.remove(0, 3);
    }
    // Stateless: a sequence cut short by the end of the file is an error, not a promise.
    QStringDecoder verification(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString essai = verification.decode(contenu);
    mUtf8 = !verification.hasError();
    // Each line keeps its own end: CR LF, LF, or a lone CR of old files.
    QString section;
    qsizetype debut = 0;
    bool premiereFin = true;
    while (debut < contenu.size()) {
        qsizetype fin = debut;
        while (fin < contenu.size() && contenu[fin] != '\n' && contenu[fin] != '\r')
            ++fin;
        Ligne ligne = analyser(contenu.mid(debut, fin - debut), section, mUtf8);
        qsizetype apres = fin;
        if (fin < contenu.size())
            apres = contenu[fin] == '\r' && fin + 1 < contenu.size() && contenu[fin + 1] == '\n' ? fin + 2 : fin + 1;
        ligne.fin = contenu.mid(fin, apres - fin);
        if (premiereFin && !ligne.fin.isEmpty()) {
            mFinDeLigne = ligne.fin;
            premiereFin = false;
        }
        section = ligne.section;
        mLignes.append(ligne);
        debut = apres;
    }
}

QByteArray FichierIni::encoder(const QString &texte) const
{
    return mUtf8 ? texte.toUtf8() : Windows1252::depuisTexte(texte);
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

bool FichierIni::attendreVerrou(QLockFile &verrou, int delaiMs)
{
    return verrou.tryLock(delaiMs);
}

bool FichierIni::Enregistrer(QString *raison)
{
    // Two stations may save the same file at once: the read-modify-write is one at a time.
    QLockFile verrou(mFichier + QStringLiteral(".verrou"));
    verrou.setStaleLockTime(30'000);
    // A lock that cannot even be made (no folder there) lets the write fail with its own reason.
    if (!attenteVerrou(verrou, delaiVerrouMs) && verrou.error() == QLockFile::LockFailedError)
        return refuser(raison, QStringLiteral("Le fichier %1 est tenu par un autre programme depuis plus de 10 s : rien n'est enregistré.")
                         .arg(mFichier));
    charger();
    const QString cle = uneLigne(mCle).trimmed().replace(QLatin1Char('='), QLatin1Char(' '));
    const QString section = uneLigne(mSection).trimmed();
    if (cle.isEmpty())
        return refuser(raison, QStringLiteral("Nom de clé vide : rien n'est enregistré."));
    QList<Ligne> lignes = mLignes;
    placer(lignes, section, cle, uneLigne(mValeur));
    QString pourquoi;
    if (!ecrire(lignes, pourquoi))
        return refuser(raison, QStringLiteral("Écriture du fichier %1 impossible : %2").arg(mFichier, pourquoi));
    mLignes = lignes;
    return true;
}

void FichierIni::placer(QList<Ligne> &lignes, const QString &section, const QString &cle, const QString &valeur) const
{
    Ligne nouvelle;
    nouvelle.section = section;
    nouvelle.cle = cle;
    nouvelle.valeur = valeur;
    nouvelle.fin = mFinDeLigne;
    const int existante = trouverCle(section, cle);
    if (existante >= 0) {
        nouvelle.cle = lignes[existante].cle; // keep the spelling the file already has
        nouvelle.brut = encoder(nouvelle.cle + QLatin1Char('=') + valeur);
        nouvelle.fin = lignes[existante].fin;
        lignes[existante] = nouvelle;
        return;
    }
    nouvelle.brut = encoder(cle + QLatin1Char('=') + valeur);
    int derniere = -1; // last line of the section's first block
    for (int i = 0; i < lignes.size(); ++i) {
        if (lignes[i].enTete && derniere >= 0)
            break;
        if (memeNom(lignes[i].section, section) && (lignes[i].enTete || derniere >= 0))
            derniere = i;
    }
    // A line that ended the file without a line end gets one before anything follows it.
    const auto terminer = [&](int i) {
        if (i >= 0 && i < lignes.size() && lignes[i].fin.isEmpty())
            lignes[i].fin = mFinDeLigne;
    };
    if (derniere < 0) {
        Ligne enTete;
        enTete.enTete = true;
        enTete.section = section;
        enTete.brut = encoder(QLatin1Char('[') + section + QLatin1Char(']'));
        enTete.fin = mFinDeLigne;
        terminer(int(lignes.size()) - 1);
        lignes.append(enTete);
        lignes.append(nouvelle);
        return;
    }
    while (derniere > 0 && lignes[derniere].brut.trimmed().isEmpty() && !lignes[derniere].enTete)
        --derniere; // before the blank lines that separate sections
    terminer(derniere);
    lignes.insert(derniere + 1, nouvelle);
}

bool FichierIni::ecrire(const QList<Ligne> &lignes, QString &raison) const
{
    QByteArray contenu = mPrefixe;
    for (const Ligne &l : lignes)
        contenu += l.brut + l.fin;
    QSaveFile fichier(mFichier);
    // Unbuffered: a buffered write that the system cuts short (a size limit) would still be
    // committed, and the file replaced by its beginning.
    if (fichier.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && fichier.write(contenu) == contenu.size() && fichier.commit())
        return true;
    // Once open, a refusal is the disk's or a limit's; Qt often has no words for it.
    raison = fichier.isOpen() || fichier.error() == QFileDevice::NoError
        ? QStringLiteral("écriture refusée par le système (disque plein, ou taille de fichier limitée)")
        : fichier.errorString();
    fichier.cancelWriting();
    return false;
}
