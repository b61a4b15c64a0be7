#include "tests/support/BancLigne.h"

#include "platform/Windows1252.h"

BancLigne::BancLigne(LigneSimulee::Reglages reglages) : ligne(plateforme, reglages)
{
    ports.declarer(QStringLiteral("COM1:"), ligne.a());
    ligne.b().brancher(this, [this](const QByteArray &octets) {
        recuParLePair += octets;
        mEnCours += octets;
        decouperTrames();
        if (surReceptionPair)
            surReceptionPair(octets);
    });
}

BancLigne::~BancLigne()
{
    ligne.b().debrancher(this);
}

void BancLigne::pairEnvoie(const QByteArray &octets, quint32 dansMs)
{
    if (dansMs == 0) {
        ligne.b().envoyer(octets);
        return;
    }
    plateforme.planifier(qint64(dansMs) * 1000, [this, octets] { ligne.b().envoyer(octets); });
}

QByteArray BancLigne::trame(const QByteArray &texte)
{
    return FComm::STX + FComm::encoderEntete(texte.size()) + texte;
}

QByteArray BancLigne::reponseDePoste(const QByteArray &t)
{
    if (t.startsWith("YAQUELQUUN?") || t.startsWith("CLK"))
        return "OUI";
    if (t.startsWith("FICHIER") || t.startsWith("RECEPFICHIER"))
        return "OKFICHIER";
    if (t.startsWith("RECEPGROSFIC"))
        return t.mid(12, 3) == t.mid(15, 3) ? "OKFICHIER" : "OKPARTFIC";
    return {};
}

JournalFComm::JournalFComm(FComm &comm)
{
    comm.Reception.connecter([this](const QByteArray &t) {
        receptions.append(t);
        lignes << QStringLiteral("Reception:") + Windows1252::versTexte(t);
    });
    comm.ProgressRecept.connecter([this](qint32 r, qint32 a) { lignes << QStringLiteral("ProgressRecept:%1/%2").arg(r).arg(a); });
    comm.ProgressEmission.connecter([this](qint32 e, qint32 t) { lignes << QStringLiteral("ProgressEmission:%1/%2").arg(e).arg(t); });
    comm.Erreur.connecter([this](const QString &m) { lignes << QStringLiteral("Erreur:") + m; });
    comm.Information.connecter([this](const QString &m) { lignes << QStringLiteral("Information:") + m; });
    comm.ModemEtatConnexion.connecter([this](bool c) { lignes << QStringLiteral("ModemEtatConnexion:%1").arg(c); });
}

void BancLigne::decouperTrames()
{
    for (;;) {
        const qsizetype stx = mEnCours.indexOf('\x02');
        if (stx < 0) {
            mEnCours.clear();
            return;
        }
        mEnCours.remove(0, stx);
        if (mEnCours.size() < 4)
            return;
        const qint32 longueur = FComm::decoderEntete(mEnCours.mid(1, 3));
        if (mEnCours.size() < 4 + longueur)
            return;
        const QByteArray texte = mEnCours.mid(4, longueur);
        mEnCours.remove(0, 4 + longueur);
        tramesRecues.append(texte);
        if (repondeur) {
            const QByteArray reponse = repondeur(texte);
            if (!reponse.isEmpty())
                pairEnvoie(trame(reponse), delaiReponseMs);
        }
    }
}
