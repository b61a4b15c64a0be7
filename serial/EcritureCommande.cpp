#include "serial/EcritureCommande.h"

#include "platform/Plateforme.h"
#include "platform/PortCom.h"
#include "platform/Windows1252.h"
#include "serial/ErreurPort.h"
#include "serial/TamponTrames.h"

#include <QScopeGuard>

#include <utility>

struct EcritureCommande::Ecriture
{
    QByteArray trame;      // what goes on the line
    QByteArray texteDonne; // as given
    const QByteArray &reponseAttendue;
    const QByteArray &reponseRefus;
    qint32 delai;
    bool tramee;
    Attente attente;
    QString erreur;
};

namespace {
QByteArray encadrer(const QByteArray &texte)
{
    return QByteArray(1, TamponTrames::STX) + TamponTrames::encoderEntete(texte.size()) + texte;
}

// A modem's answer begins a line ("\r\nOK\r\n", or "OK" behind the echo of the command and
// its CR): the same letters inside the other station's data (a station restarting on a cable
// probes for a modem while the other still sends) are not it.
bool enDebutDeLigne(const QByteArray &texte, const QByteArray &mot)
{
    const QByteArray t = texte.toLower(), m = mot.toLower();
    for (qsizetype i = t.indexOf(m); i >= 0; i = t.indexOf(m, i + 1))
        if (i == 0 || t[i - 1] == '\r' || t[i - 1] == '\n')
            return true;
    return false;
}
}

bool EcritureCommande::ecrire(const QByteArray &texte, const QByteArray &reponseAttendue, qint32 delai, bool tramee,
                              QByteArray *reponseRecue, const QByteArray &reponseRefus)
{
    if (mEnCours && mArreter)
        mEnCours = false;
    if (mEnCours) {
        // The other station's command arrived while we wait: its answer goes out at once.
        if (mLigne.livraisonEnCours() && reponseAttendue.isEmpty() && tramee)
            return ecrireReponseImbriquee(texte);
        return false;
    }
    mEnCours = true;
    if (mLigneOccupee && mArreter)
        mLigneOccupee = false;
    mArreter = false;

    const auto vivant = mVie.temoin();
    Ecriture e{.trame = texte,
               .texteDonne = texte,
               .reponseAttendue = reponseAttendue,
               .reponseRefus = reponseRefus,
               .delai = delai,
               .tramee = tramee,
               .attente = {.reponseAttendue = reponseAttendue, .reponseRefus = reponseRefus, .texteEnvoye = texte, .reponse = {}},
               .erreur = {}};
    // A handler inside our wait may write and wait itself; ours is back when it returns.
    Attente *precedente = std::exchange(mAttente, &e.attente);
    const auto retablir = qScopeGuard([&] {
        if (vivant)
            mAttente = precedente;
    });
    Suite suite = prendreLaLigne(e);
    if (suite == Suite::Continuer)
        suite = tramer(e);
    if (suite == Suite::Continuer)
        suite = ecrireTrame(e);
    if (suite == Suite::Continuer)
        suite = attendreReponse(e);
    return conclure(e, suite, reponseRecue);
}

bool EcritureCommande::conclure(Ecriture &e, Suite suite, QByteArray *reponseRecue)
{
    switch (suite) {
    case Suite::Detruit: return false;
    case Suite::Abandon: mEnCours = false; return false;
    case Suite::Perdue: finir(e, false); return false;
    case Suite::Echec:
        finir(e, false);
        mLigne.erreur(e.erreur);
        return false;
    case Suite::Refus:
    case Suite::Continuer:
        if (reponseRecue)
            *reponseRecue =
                suite == Suite::Refus || (e.tramee && !e.reponseAttendue.isEmpty()) ? e.attente.reponse : mTampon.texte();
        finir(e, true);
        return suite == Suite::Continuer;
    }
    return false;
}

void EcritureCommande::finir(const Ecriture &e, bool reussite)
{
    mEmissionEnCours = false;
    mReponsesDifferees.clear();
    mEnCours = false;
    mArreter = false;
    liberer();
    if (e.tramee)
        mLigne.garderTramesSuivantes(reussite);
    else
        mLigne.viderReception();
}

EcritureCommande::Suite EcritureCommande::echec(Ecriture &e, const QString &texte)
{
    e.erreur = texte;
    return Suite::Echec;
}

EcritureCommande::Suite EcritureCommande::prendreLaLigne(Ecriture &e)
{
    const auto vivant = mVie.temoin();
    if (!mLigne.port() && !mLigne.connecter())
        return vivant ? Suite::Abandon : Suite::Detruit;
    if (!vivant)
        return Suite::Detruit;
    if (mLigneOccupee) {
        const bool libre = mPlateforme.attendreQue([&] { return !vivant || !mLigneOccupee; }, 60000);
        if (!vivant)
            return Suite::Detruit;
        if (!libre)
            return Suite::Abandon;
    }
    mLigneOccupee = true;
    return Suite::Continuer;
}

EcritureCommande::Suite EcritureCommande::tramer(Ecriture &e)
{
    if (!e.tramee) {
        mLigne.viderReception();
        return Suite::Continuer;
    }
    // Stale bytes go, a frame of the other station stays; one already begun stays whole when
    // nothing is awaited, since the other station may be sending while we write.
    mLigne.garderTramesSuivantes(e.reponseAttendue.isEmpty());
    const auto scellee = mLigne.sceller(e.trame);
    if (!scellee)
        return echec(e, QStringLiteral("Liaison chiffrée épuisée : il faut une nouvelle connexion."));
    if (scellee->size() > TamponTrames::longueurTrameMax)
        return echec(
            e, ErreurPort{ErreurPort::Depassement, QStringLiteral("Dépassement de capacité : un message de %1 caractères ne "
                                                                  "peut pas être tramé (%2 au plus).")
                                                       .arg(scellee->size())
                                                       .arg(TamponTrames::longueurTrameMax)}
                   .texte());
    e.trame = encadrer(*scellee);
    e.attente.epoque = mLigne.epoque();
    mReponseTrameeAttendue = !e.reponseAttendue.isEmpty();
    return Suite::Continuer;
}

EcritureCommande::Suite EcritureCommande::ecrireTrame(Ecriture &e)
{
    const auto vivant = mVie.temoin();
    const qint64 N = e.trame.size();
    qint64 i = 1;
    mEmissionEnCours = true;
    // Once the carrier is gone the modem reads what we write as commands: not one more byte.
    const quint32 pertesAvant = mLigne.pertesPorteuse();
    for (; i <= N; i += tailleBloc) {
        if (i > 1) {
            mLigne.progressionEmission(qint32(i), qint32(N));
            if (!vivant)
                return Suite::Detruit;
            mPlateforme.pomper();
            if (!vivant)
                return Suite::Detruit;
        }
        if (e.attente.porteusePerdue || mLigne.pertesPorteuse() != pertesAvant)
            return echec(
                e,
                QStringLiteral("Pas de porteuse : l'envoi de %1 s'arrête.").arg(Windows1252::versTexte(e.texteDonne.left(12))));
        PortCom *port = mLigne.port();
        if (!port)
            return echec(
                e, ErreurPort{ErreurPort::Objet, QStringLiteral("Le port n'est plus disponible pendant l'écriture.")}.texte());
        port->EcrireTexte(e.trame.mid(i - 1, tailleBloc));
        // Once the last chunk is in the port, an answer can no longer land inside the frame:
        // one that a handler writes during the next pump goes out at once.
        if (i + tailleBloc > N)
            finirEmission();
        mPlateforme.pomper();
        if (!vivant)
            return Suite::Detruit;
    }
    finirEmission();
    if (i > tailleBloc + 1) {
        mLigne.progressionEmission(qint32(i - 1), qint32(N));
        if (!vivant)
            return Suite::Detruit;
    }
    return Suite::Continuer;
}

bool EcritureCommande::reponseArrivee(Ecriture &e)
{
    if (!e.tramee)
        return enDebutDeLigne(mTampon.texte(), e.reponseAttendue);
    // A long answer under way gets the time to arrive.
    const qint32 longueur = mTampon.longueurAttendue();
    if (mReponseTrameeAttendue && longueur > 0 && e.delai < 2 * longueur)
        e.delai = 2 * longueur;
    return e.attente.acceptee;
}

bool EcritureCommande::reponseRefusee(const Ecriture &e)
{
    const Attente &a = e.attente;
    return a.complete && !a.acceptee && commencePar(a.reponse, e.reponseRefus);
}

EcritureCommande::Suite EcritureCommande::attendreReponse(Ecriture &e)
{
    if (e.reponseAttendue.isEmpty())
        return Suite::Continuer;
    const auto vivant = mVie.temoin();
    mLigneOccupee = false;
    mPlateforme.pomper();
    if (!vivant)
        return Suite::Detruit;
    const quint32 debut = mPlateforme.tickMs();
    const auto ecoule = [&] { return qint64(mPlateforme.ecouleDepuis(debut)); };
    const QString douze = Windows1252::versTexte(e.texteDonne.left(12));
    while (!reponseArrivee(e)) {
        if (reponseRefusee(e))
            return Suite::Refus;
        mPlateforme.pomper(quint32(std::max<qint64>(1, qint64(e.delai) - ecoule() + 1)));
        if (!vivant)
            return Suite::Detruit;
        // An answer already in counts even when a stop came behind it: it came under the
        // command's own keys.
        if (e.attente.acceptee)
            break;
        if (std::exchange(mCeder, false))
            return Suite::Refus;
        if (mArreter)
            return echec(e, Windows1252::versTexte(e.trame));
        if (e.attente.porteusePerdue)
            return echec(e, QStringLiteral("Pas de porteuse pendant l'attente de réponse. (%1 / %2)")
                                .arg(Windows1252::versTexte(e.reponseAttendue), douze));
        // The connection or its keys changed: nothing can answer this command any more.
        if (e.tramee && mLigne.epoque() != e.attente.epoque)
            return Suite::Perdue;
        if (ecoule() > e.delai)
            break;
    }
    // A handler that ran long inside the wait (a box, another station's work in a
    // simulation) may return control after the deadline: an answer that came in time
    // still counts.
    const bool arriveeATemps = e.attente.acceptee && qint64(qint32(e.attente.tick - debut)) <= e.delai;
    if (ecoule() <= e.delai || arriveeATemps)
        return Suite::Continuer;
    return echec(
        e,
        e.delai > 0
            ? QStringLiteral("Temps d'attente de réponse écoulé. (%1 / %2)").arg(Windows1252::versTexte(e.reponseAttendue), douze)
            : douze);
}

void EcritureCommande::finirEmission()
{
    mEmissionEnCours = false;
    PortCom *port = mLigne.port();
    if (port && !mReponsesDifferees.isEmpty())
        port->EcrireTexte(std::exchange(mReponsesDifferees, QByteArray()));
}

bool EcritureCommande::ecrireReponseImbriquee(const QByteArray &texte)
{
    const std::optional<QByteArray> scelle = mLigne.sceller(texte);
    PortCom *port = mLigne.port();
    if (!port || !port->Actif() || !scelle || scelle->size() > TamponTrames::longueurTrameMax)
        return false;
    if (mEmissionEnCours)
        mReponsesDifferees += encadrer(*scelle); // never inside the frame we are writing
    else
        port->EcrireTexte(encadrer(*scelle));
    return true;
}

void EcritureCommande::porteusePerdue()
{
    // A frame cut by the loss never ends: the line is free for the next call.
    mLigneOccupee = false;
    if (mAttente)
        mAttente->porteusePerdue = true;
}
