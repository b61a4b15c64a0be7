#include "tests/support/StationSimulee.h"

#include <QDir>
#include <QFile>

#include <random>

QByteArray aleatoire(qsizetype taille, unsigned graine)
{
    std::mt19937 alea(graine);
    QByteArray o(taille, Qt::Uninitialized);
    for (char &c : o)
        c = char(alea());
    return o;
}

QStringList fichiersDe(const QString &dossier)
{
    return QDir(dossier).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

QByteArray lireFichier(const QString &chemin)
{
    QFile f(chemin);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void ecrireFichier(const QString &chemin, const QByteArray &contenu)
{
    QFile f(chemin);
    if (f.open(QIODevice::WriteOnly))
        f.write(contenu);
}

StationSimulee::~StationSimulee()
{
    poste.reset(); // its last notifications still reach the lists
}

CInterlocuteur &StationSimulee::creer()
{
    poste = std::make_unique<CInterlocuteur>(
        ContexteLiaison{environnement, ini, proprietaire, dossier.path(), QStringLiteral("navette"), QStringLiteral("A"), &dialogue});
    poste->Information.connecter([this](const QString &t) { informations << t; });
    poste->EtatTimeOut.connecter([this](const QString &type, const QString &compteur, int duree) {
        etats << QStringLiteral("%1|%2|%3").arg(type, compteur).arg(duree);
    });
    poste->CommandeReçue.connecter([this](const QString &c, QString &) { commandes << c; });
    poste->LiaisonVerifiee.connecter([this](VerdictLiaison v) { commandes << texteVerdict(v); });
    poste->FichierReçu.connecter([this](const QString &f) { fichiersRecus << f; });
    return *poste;
}

CInterlocuteur &StationSimulee::creerConfiguree(const QString &port, const QByteArray &autresCles)
{
    QDir(dossier.path()).mkdir("recus");
    QDir(dossier.path()).mkdir("envoi");
    ecrireFichier(cheminIni(), "[Port 1]\nNumPort=" + port.toUtf8()
                                   + "\nParametresPort=38400,n,8,1\nCheminFichiersRecus=" + chemin("recus").toUtf8()
                                   + "\nCheminFichiersAEnvoyer=" + chemin("envoi").toUtf8() + "\n" + autresCles);
    CInterlocuteur &p = creer();
    p.Initialiser();
    if (p.FrmComm)
        p.FrmComm->Reception.connecter([this](const QByteArray &t) {
            if (garderTrames)
                trames << t;
        });
    return p;
}

FMain &StationSimulee::charger(const QByteArray &texteIni, const QString &ligneCommande)
{
    if (!texteIni.isNull())
        ecrireFichier(cheminIni(), texteIni);
    principale = std::make_unique<FMain>(ContexteMain{environnement, ini, dossier.path(), QStringLiteral("navette"), ligneCommande,
                                                      &dialogue, &correspondance, surveillance, surveillanceDossier},
                                         vue);
    principale->Form_Load();
    return *principale;
}
