#include "link/ProfilPoste.h"

#include "link/ContexteLiaison.h"
#include "link/ProprietaireLiaison.h"
#include "platform/FichierIni.h"
#include "platform/Plateforme.h"
#include "serial/ParametresStation.h"

void ProfilPoste::choisir(QString fichier, QString section, const QString &index)
{
    if (!fichier.isEmpty()) {
        if (section.isEmpty())
            section = mContexte.nomExecutable + QLatin1Char(' ') + index;
    } else {
        fichier = ParametresStation::fichierConfiguration(mContexte.dossierProgramme, mContexte.nomExecutable);
        if (ParametresStation::creerSiAbsent(fichier))
            mContexte.env.plateforme.pomper();
        if (section.isEmpty())
            section = QStringLiteral("Port ") + index;
    }
    mSection = section;
    mContexte.ini.setFichier(fichier);
    mContexte.ini.setSection(section);
}

ProfilPoste::Port ProfilPoste::lirePort()
{
    FichierIni &ini = mContexte.ini;
    ini.setSection(mSection);
    ini.setCle(QStringLiteral("NumPort"));
    if (!ini.Lire())
        return {{}, QStringLiteral("Erreur de lecture dans le fichier ") + ini.Fichier()};
    QString port = ini.Valeur();
    if (ParametresStation::nombre(port)) {
        port = QStringLiteral("COM") + port.trimmed() + QLatin1Char(':');
        ini.setValeur(port);
        ini.Enregistrer();
    }
    return {port.trimmed().isEmpty() ? QString() : port, {}};
}

void ProfilPoste::placerFenetre(const ParametresStation &parametres)
{
    ProprietaireLiaison &fenetre = mContexte.proprietaire;
    const QSize ecran = fenetre.tailleEcran();
    // A place beyond the screen (a screen since changed) starts from its edge.
    if (parametres.Gauche)
        fenetre.deplacerFenetre({*parametres.Gauche >= ecran.width() ? 0 : *parametres.Gauche, fenetre.positionFenetre().y()});
    if (parametres.Haut)
        fenetre.deplacerFenetre({fenetre.positionFenetre().x(), *parametres.Haut >= ecran.height() ? 0 : *parametres.Haut});
}

std::optional<QString> ProfilPoste::ecrire(const ParametresStation &parametres)
{
    mContexte.ini.setSection(mSection);
    QString raison;
    if (parametres.ecrire(mContexte.ini, false, &raison))
        return std::nullopt;
    return raison;
}
