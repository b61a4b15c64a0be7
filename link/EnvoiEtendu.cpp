#include "link/EnvoiEtendu.h"
#include "link/shared/MGlobal.h"

#include "link/CanalLiaison.h"
#include "link/EmpreinteFichier.h"
#include "link/ErreursDeLigne.h"
#include "link/shared/TramesEtendues.h"
#include "platform/Windows1252.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>
#include <cmath>

namespace TE = TramesEtendues;
using Issue = EnvoiFichier::Issue;

namespace {
constexpr int essaisMax = 3;
// Rounds in a row without any acknowledgement before the file waits for its next turn.
constexpr int silencesMax = 6;
}

qint64 EnvoiEtendu::fenetre(qint64 octetsParSeconde, quint32 allerRetourMs, qint32 tranche)
{
    // Twice what the line holds during a round trip, and a few slices for the answers' own
    // frames; beyond that, slices would only wait in the port's buffer.
    const qint64 enLigne = 2 * octetsParSeconde * qint64(allerRetourMs) / 1000;
    return std::clamp<qint64>(enLigne + 3 * qint64(tranche), 8192, 65536);
}

qint32 EnvoiEtendu::tranche(qint32 trancheMax, qint64 octetsEnvoyes, qint64 pertes)
{
    if (pertes == 0)
        return trancheMax;
    // A slice of s bytes with o bytes of framing, at a byte error rate p, carries
    // s(1-p)^(s+o)/(s+o) of the line: best near s = sqrt(o/p). Sealed frames, though 10 bytes
    // longer, measure best with the same slices: at 10^-4 their frame still fits one write.
    constexpr double cadre = 24;
    const double p = double(pertes) / double(std::max<qint64>(octetsEnvoyes, 1));
    const qint32 s = qint32(std::sqrt(cadre / p)) / 64 * 64;
    return std::clamp(s, 256, trancheMax);
}

Issue EnvoiEtendu::envoyer(const QString &fichier, const std::function<bool()> &lignePerdue)
{
    return offrir(fichier, Windows1252::depuisTexte(QFileInfo(fichier).fileName()), nullptr, lignePerdue);
}

Issue EnvoiEtendu::envoyerCode(const QString &fichier, const QByteArray &nom, const TE::Codage &codage,
                               const std::function<bool()> &lignePerdue)
{
    if (QFileInfo(fichier).size() <= std::min<qint64>(TE::dansLOffreMax, mCanal.etat().partieDistante - 512))
        return offrirAvecContenu(fichier, nom, codage, lignePerdue);
    return offrir(fichier, nom, &codage, lignePerdue);
}

Issue EnvoiEtendu::offrirAvecContenu(const QString &fichier, const QByteArray &nom, const TE::Codage &codage,
                                     const std::function<bool()> &lignePerdue)
{
    // Small enough to come along with its offer: no slices, no end, one exchange.
    mAvance = false;
    mSansReference = false;
    const QString affiche = Windows1252::versTexte(nom);
    QFile lecture(fichier);
    const QByteArray contenu = lecture.open(QIODevice::ReadOnly) ? lecture.readAll() : QByteArray();
    if (contenu.size() != QFileInfo(fichier).size() || lecture.error() != QFileDevice::NoError) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(affiche, lecture.errorString()));
        return Issue::Abandon;
    }
    const TE::Annonce annonce{contenu.size(), {}, nom};
    for (int essai = 1; essai <= essaisMax; ++essai) {
        const bool crc = mCanal.etat().crcEtendu;
        const qint32 delai = qint32(DelaisMs::reponseLongue + codage.tailleFichier / 10'000 + 2 * mCanal.etat().allerRetourMs);
        const ReponseCommande reponse = mCanal.commande(TE::offreCodee(annonce, codage, crc, &contenu), "OKFICHIER", delai, TE::Refus);
        if (reponse.fin())
            return Issue::Fin;
        if (reponse.repondue())
            return Issue::Livre;
        if (lignePerdue())
            return Issue::LignePerdue;
        const auto raison = TE::ouvrir(reponse.texte, TE::Refus, crc);
        if (!raison)
            continue; // unanswered: a file stored meanwhile is known at the next offer
        mSansReference = *raison == TE::SansReference;
        if (mSansReference)
            return Issue::Abandon;
        mCanal.informer(QStringLiteral("Le poste distant n'a pas gardé %1 (%2) : nouvel essai.")
                            .arg(affiche, MGlobal::TexteDistant(Windows1252::versTexte(*raison), 200)));
        // The references did not rebuild the file there: it goes again without them.
        if ((mSansReference = !codage.references.isEmpty()))
            return Issue::Abandon;
    }
    mCanal.informer(QStringLiteral("Le fichier n'est pas passé après %1 essais : il attendra son tour.").arg(essaisMax));
    return Issue::Abandon;
}

Issue EnvoiEtendu::offrir(const QString &fichier, const QByteArray &nom, const TE::Codage *codage, const std::function<bool()> &lignePerdue)
{
    mAvance = false;
    mSansReference = false;
    // What the user knows: the file, not what it was coded into.
    const QString affiche = codage ? Windows1252::versTexte(nom) : fichier;
    mTailleFichier = codage ? codage->tailleFichier : QFileInfo(fichier).size();
    QFile lecture(fichier);
    QByteArray sha;
    const auto lu = lecture.open(QIODevice::ReadOnly)
        ? EmpreinteFichier::calculer(lecture, [&] { return mCanal.pause(0, Portee::Liaison); }, sha)
        : EmpreinteFichier::Issue::Illisible;
    if (lu == EmpreinteFichier::Issue::Arretee)
        return Issue::Fin;
    if (lu == EmpreinteFichier::Issue::Illisible) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(affiche, lecture.errorString()));
        return Issue::Abandon;
    }
    const TE::Annonce annonce{lecture.size(), sha, nom};
    const quint32 allerRetour = mCanal.etat().allerRetourMs;
    const char *motPret = codage ? TE::PretCode : TE::Pret;
    for (int essai = 1; essai <= essaisMax; ++essai) {
        const bool crc = mCanal.etat().crcEtendu;
        const QByteArray texteOffre = codage ? TE::offreCodee(annonce, *codage, crc) : TE::offre(annonce, crc);
        const ReponseCommande offre = mCanal.commande(texteOffre, motPret, qint32(DelaisMs::reponseLongue + 2 * allerRetour), TE::Refus);
        if (offre.fin())
            return Issue::Fin;
        const QByteArray &reponse = offre.texte;
        const bool pret = offre.repondue();
        if (lignePerdue())
            return Issue::LignePerdue;
        if (!pret) {
            if (const auto raison = TE::ouvrir(reponse, TE::Refus, mCanal.etat().crcEtendu)) {
                mCanal.informer(QStringLiteral("Le poste distant refuse %1 : %2").arg(affiche, MGlobal::TexteDistant(Windows1252::versTexte(*raison), 200)));
                return Issue::Abandon;
            }
            if (reponse.isEmpty()) {
                mCanal.informer(QStringLiteral("Le poste distant n'est pas prêt"));
                return Issue::Abandon;
            }
            continue; // an answer the line damaged
        }
        const auto corps = TE::ouvrir(reponse, motPret, crc);
        if (codage && corps == TE::SansReference) {
            mSansReference = true;
            return Issue::Abandon;
        }
        const auto debut = corps ? TE::nombre(*corps, annonce.taille) : std::nullopt;
        if (!debut)
            continue;
        mCanal.erreurs().ligneSaine();
        if (*debut > 0)
            mCanal.informer(QStringLiteral("Reprise de %1 à l'octet %2 sur %3").arg(affiche).arg(*debut).arg(annonce.taille));
        const Issue issue = transmettre(lecture, annonce.taille, *debut, lignePerdue);
        if (issue != Issue::Livre)
            return issue;
        // The other side reads the whole file again to check it before it answers.
        const qint64 relu = annonce.taille + (codage ? codage->tailleFichier : 0);
        const qint32 delai = qint32(std::min<qint64>(DelaisMs::reponseLongue + relu / 10'000 + 2 * allerRetour, 600'000));
        const ReponseCommande fin = mCanal.commande(TE::sceller(TE::Fin, {}, mCanal.etat().crcEtendu), "OKFICHIER", delai, TE::Refus);
        if (fin.fin())
            return Issue::Fin;
        if (fin.repondue())
            return Issue::Livre;
        if (lignePerdue())
            return Issue::LignePerdue;
        if (const auto raison = TE::ouvrir(fin.texte, TE::Refus, mCanal.etat().crcEtendu)) {
            mCanal.informer(QStringLiteral("Le poste distant n'a pas gardé %1 (%2) : nouvel essai.")
                                   .arg(affiche, MGlobal::TexteDistant(Windows1252::versTexte(*raison), 200)));
            // The references did not rebuild the file there: it goes again without them.
            if (codage && !codage->references.isEmpty()) {
                mSansReference = true;
                return Issue::Abandon;
            }
        }
        // With no answer the file may be stored: the next offer says so, and nothing is stored twice.
    }
    mCanal.informer(QStringLiteral("Le fichier n'est pas passé après %1 essais : il attendra son tour.").arg(essaisMax));
    return Issue::Abandon;
}

std::optional<std::pair<qint64, qint64>> EnvoiEtendu::prochaineTranche(qint64 &suivant, qint32 trancheMax)
{
    // Missing slices first, then new ones.
    const qint32 t = tranche(trancheMax, mOctetsEnvoyes, mPertes);
    if (!mARenvoyer.plages().empty()) {
        const auto [d, f] = mARenvoyer.plages().front();
        const std::pair envoi(d, std::min(f, d + t));
        Plages reste;
        for (const auto &[rd, rf] : mARenvoyer.plages())
            reste.ajouter(std::max(rd, envoi.second), rf);
        mARenvoyer = reste;
        return envoi;
    }
    if (const auto manque = mRecu.premierManque(suivant, mTaille)) {
        suivant = std::min(manque->second, manque->first + t);
        return std::pair(manque->first, suivant);
    }
    return std::nullopt;
}

void EnvoiEtendu::commencer(qint64 taille, qint64 debut)
{
    mActif = true;
    mTaille = taille;
    mRecu.vider();
    mRecu.ajouter(0, debut);
    mEnVol.clear();
    mARenvoyer.vider();
    mRefus.clear();
    mNouvelles = false;
}

Issue EnvoiEtendu::transmettre(QFile &lecture, qint64 taille, qint64 debut, const std::function<bool()> &lignePerdue)
{
    commencer(taille, debut);
    const Issue issue = envoyerLesTranches(lecture, taille, debut, lignePerdue);
    if (issue != Issue::Fin) // Fin: the engine is gone, and this part with it
        mActif = false;
    return issue;
}

Issue EnvoiEtendu::envoyerLesTranches(QFile &lecture, qint64 taille, qint64 debut, const std::function<bool()> &lignePerdue)
{
    const qint64 debit = mCanal.etat().octetsParSeconde;
    const quint32 allerRetour = mCanal.etat().allerRetourMs;
    const qint32 trancheMax = std::min(mCanal.etat().partieDistante, TE::partieMax);
    const qint64 largeur = fenetre(debit, allerRetour, trancheMax);
    qint64 suivant = debut;
    int silences = 0;
    quint32 dernierSigne = mCanal.tickMs();
    while (!mRecu.contient(0, taille)) {
        mCanal.avancementEmission(AvancementFichier::octets(mRecu.continuDepuisZero(), taille, mTailleFichier));
        while (octetsEnVol() < largeur) {
            const auto envoi = prochaineTranche(suivant, trancheMax);
            if (!envoi)
                break;
            if (mRecu.contient(envoi->first, envoi->second))
                continue; // acknowledged since it was found missing
            if (const Issue issue = envoyerTranche(lecture, envoi->first, envoi->second); issue != Issue::Livre)
                return issue;
            if (lignePerdue())
                return Issue::LignePerdue;
            dernierSigne = mCanal.tickMs();
        }
        // Since the last send or acknowledgement, what is in flight has had the time to drain
        // from the port, cross and come back.
        const quint32 delai = quint32(octetsEnVol() * 1000 / std::max<qint64>(debit, 1)) + 2 * allerRetour + 500;
        const quint32 ecoule = mCanal.ecouleDepuis(dernierSigne);
        if (!mCanal.attendreQue([&] { return mNouvelles || !mRefus.isEmpty() || lignePerdue(); }, delai > ecoule ? delai - ecoule : 1))
            return Issue::Fin;
        if (lignePerdue())
            return Issue::LignePerdue;
        if (!mRefus.isEmpty()) {
            mCanal.informer(QStringLiteral("Le poste distant arrête la réception : %1").arg(mRefus));
            return Issue::Abandon;
        }
        if (std::exchange(mNouvelles, false)) {
            silences = 0;
            mAvance = mAvance || mRecu.continuDepuisZero() > debut;
            recenser();
        } else if (mCanal.ecouleDepuis(dernierSigne) < delai) {
            continue;
        } else if (!renvoyerLeVol(++silences)) {
            return Issue::Inconnue;
        }
        dernierSigne = mCanal.tickMs();
    }
    mCanal.avancementEmission({});
    return Issue::Livre;
}

bool EnvoiEtendu::renvoyerLeVol(int silences)
{
    // Nothing came back: what is in flight is sent again.
    if (silences > silencesMax) {
        mCanal.informer(QStringLiteral("Le poste distant ne répond plus pendant l'envoi : le fichier attendra son tour."));
        return false;
    }
    for (const EnVol &e : mEnVol)
        mARenvoyer.ajouter(e.debut, e.fin);
    mPertes += qint64(mEnVol.size());
    mEnVol.clear();
    return true;
}

Issue EnvoiEtendu::envoyerTranche(QFile &lecture, qint64 debut, qint64 fin)
{
    if (!lecture.seek(debut)) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(lecture.fileName(), lecture.errorString()));
        return Issue::Abandon;
    }
    const QByteArray octets = lecture.read(fin - debut);
    if (octets.size() != fin - debut) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(lecture.fileName(), lecture.errorString()));
        return Issue::Abandon;
    }
    mEnVol.push_back({debut, fin, ++mOrdre});
    mOctetsEnvoyes += fin - debut;
    return mCanal.commande(TE::donnees(debut, octets, mCanal.etat().crcEtendu), {}, DelaisMs::reponseLongue).fin() ? Issue::Fin : Issue::Livre;
}

void EnvoiEtendu::surAcquit(const QByteArray &texte)
{
    const auto corps = TE::ouvrir(texte, TE::Acquit, mCanal.etat().crcEtendu);
    const auto plages = corps ? Plages::lire(*corps, mTaille) : std::nullopt;
    if (!mActif || !plages)
        return;
    for (const auto &[d, f] : plages->plages())
        mRecu.ajouter(d, f);
    mNouvelles = true;
}

void EnvoiEtendu::surRefus(const QByteArray &texte)
{
    if (const auto raison = TE::ouvrir(texte, TE::Refus, mCanal.etat().crcEtendu); raison && mActif)
        mRefus = MGlobal::TexteDistant(Windows1252::versTexte(*raison), 200);
}

void EnvoiEtendu::recenser()
{
    quint64 dernierAcquitte = 0;
    for (const EnVol &e : mEnVol)
        if (mRecu.contient(e.debut, e.fin))
            dernierAcquitte = std::max(dernierAcquitte, e.ordre);
    std::erase_if(mEnVol, [&](const EnVol &e) {
        if (mRecu.contient(e.debut, e.fin))
            return true;
        if (e.ordre > dernierAcquitte)
            return false;
        // The line keeps the order: a later slice arrived, this one was damaged.
        mARenvoyer.ajouter(e.debut, e.fin);
        ++mPertes;
        return true;
    });
}

qint64 EnvoiEtendu::octetsEnVol() const
{
    qint64 n = 0;
    for (const EnVol &e : mEnVol)
        n += e.fin - e.debut;
    return n;
}
