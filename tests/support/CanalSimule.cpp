#include "tests/support/CanalSimule.h"

CanalSimule::CanalSimule(QString dossier) : mDossier(std::move(dossier))
{
    params.CheminFichiersRecus = mDossier + QStringLiteral("/recus");
    params.CheminFichiersAEnvoyer = mDossier + QStringLiteral("/envoi");
    params.ProtocoleEtendu = true;
    dossiers().creer();
}

bool CanalSimule::pasSuivant()
{
    ++mPas;
    if (finAuPas > 0 && mPas >= finAuPas)
        mFini = true;
    return !mFini;
}

ReponseCommande CanalSimule::commande(const QByteArray &texte, const QByteArray &attendue, qint32, const QByteArray &)
{
    commandes << texte;
    if (!pasSuivant())
        return {IssueCommande::Fin, {}};
    return surCommande ? surCommande(texte, attendue) : ReponseCommande{};
}

ReponseCommande CanalSimule::repondre(const QByteArray &texte)
{
    commandes << texte;
    if (!pasSuivant())
        return {IssueCommande::Fin, {}};
    return {IssueCommande::Repondue, {}};
}

std::optional<bool> CanalSimule::testerLiaison(bool)
{
    evenements << QStringLiteral("test de liaison");
    if (!pasSuivant())
        return std::nullopt;
    return testRepondu;
}

std::optional<bool> CanalSimule::ouvrirPort()
{
    if (!pasSuivant())
        return std::nullopt;
    return portEstOuvert;
}

std::optional<bool> CanalSimule::ecrireAuModem(const QByteArray &texte, const QByteArray &, qint32, Portee)
{
    versModem << texte;
    if (!pasSuivant())
        return std::nullopt;
    return surModem(texte);
}

bool CanalSimule::pause(qint32 ms, Portee)
{
    plateforme.avancer(quint32(ms));
    return pasSuivant();
}

std::optional<ReponseQuestion> CanalSimule::demander(const Question &question, Portee)
{
    questions << question;
    if (!pasSuivant())
        return std::nullopt;
    return surQuestion(question);
}

bool CanalSimule::couper(Portee)
{
    evenements << QStringLiteral("coupure");
    return pasSuivant();
}

std::optional<bool> CanalSimule::raccrocherEtRappeler(qint32)
{
    evenements << QStringLiteral("raccrochage et rappel");
    if (!pasSuivant())
        return std::nullopt;
    return true;
}

bool CanalSimule::attendreQue(const std::function<bool()> &condition, quint32 delaiMs)
{
    if (!pasSuivant())
        return false;
    if (!condition())
        plateforme.avancer(delaiMs);
    return true;
}

bool CanalSimule::lienConstate()
{
    evenements << QStringLiteral("lien constaté");
    return pasSuivant();
}

bool CanalSimule::fermerPort()
{
    portEstOuvert = false;
    return pasSuivant();
}

void CanalSimule::planifier(qint64 delaiUs, std::function<void()> action)
{
    plateforme.planifier(delaiUs, [this, action = std::move(action)] {
        if (!mFini)
            action();
    });
}

void CanalSimule::changerRole(bool appelant, const QString &numero, bool)
{
    params.PosteAppellant = appelant;
    params.NumTelAppel = numero;
}

EtatLigne CanalSimule::etat() const
{
    EtatLigne e = etatLigne;
    e.termine = e.termine || mFini;
    e.crcEtendu = !mScellee;
    return e;
}

DossiersPoste CanalSimule::dossiers() const
{
    return {plateforme, mDossier, params, QStringLiteral("essai")};
}

bool CanalSimule::executer(Portee, const std::function<void()> &etape)
{
    if (!pasSuivant())
        return false;
    etape();
    return !mFini;
}
