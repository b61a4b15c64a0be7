#include "link/EnvoiFichier.h"

#include "link/CanalLiaison.h"
#include "link/ErreursDeLigne.h"
#include "link/DossiersPoste.h"
#include "link/EnvoiCode.h"
#include "link/EnvoiEtendu.h"
#include "link/RangementFichier.h"
#include "link/shared/MGlobal.h"
#include "platform/Windows1252.h"
#include "platform/Zipper.h"
#include "serial/ParametresStation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

namespace {
constexpr qint64 taillePartie = 1024;
constexpr qint64 partiesMax = 999;
// At a noise of one byte in 10,000 a part of 1,060 characters is refused about one time in
// ten: eight refusals of one part in a row mean a line too bad to go on.
constexpr int refusParPartieMax = 8;
// A lost or unreadable answer leaves the part's fate unknown: the file starts again from
// part 1, which every receiver takes as a new file.
constexpr int reprisesMax = 3;
}

EnvoiFichier::EnvoiFichier(CanalLiaison &canal)
    : mCanal(canal), mEtendu(std::make_unique<EnvoiEtendu>(canal)), mCode(std::make_unique<EnvoiCode>(canal, *mEtendu))
{}

EnvoiFichier::~EnvoiFichier() = default;

void EnvoiFichier::fermer()
{
    if (mCompression)
        mCompression->Fermer();
    mCompression.reset();
}

EnvoiFichier::Resultat EnvoiFichier::envoyer(const QString &fichier)
{
    if (!mCanal.ouvrirPort().value_or(false))
        return {};
    mLigneAuDebut = etatLigne();
    if (fichier.isEmpty() || !QFileInfo(fichier).isFile()) {
        mCanal.informer(fichier + QStringLiteral(" a disparu."));
        return Resultat::fait();
    }
    mCanal.arreterSupervision();
    // Every way out but Fin (the engine gone, and this part with it) ends the send.
    mEnCours = true;
    if (!mCanal.attendreCapacites())
        return Resultat::de(Issue::Fin);
    if (mCanal.etat().memoireDistante && mCanal.parametres().MemoireFichiers > 0) {
        if (Windows1252::depuisTexte(QFileInfo(fichier).fileName()).size() > 255)
            return terminer(mettreDeCote(fichier, QStringLiteral("son nom dépasse 255 caractères")));
        const Issue issue = mCode->envoyer(fichier, [this] { return etatLigne() != mLigneAuDebut; });
        return issue == Issue::Fin ? Resultat::de(issue) : terminer(Resultat::de(issue, mEtendu->avance()));
    }
    // The archive is built apart, under the name that travels: the user's folder is never
    // written, and only the archive this call made is deleted, whatever the way out.
    bool detruit = false;
    const QString archive = compresser(fichier, detruit);
    const auto supprimerArchive = qScopeGuard([&] {
        if (!archive.isEmpty())
            QFile::remove(archive);
    });
    if (detruit)
        return Resultat::de(Issue::Fin);
    const Resultat resultat = envoyerContenu(fichier, archive.isEmpty() ? fichier : archive);
    return resultat.issue == Issue::Fin ? resultat : terminer(resultat);
}

EnvoiFichier::Resultat EnvoiFichier::terminer(const Resultat &resultat)
{
    mEnCours = false;
    if (!resultat.coupe())
        mCanal.finEnvoi();
    return resultat;
}

QString EnvoiFichier::compresser(const QString &fichier, bool &detruit)
{
    if (QFileInfo(fichier).size() <= 300)
        return {};
    const QString nomArchive = QFileInfo(fichier).fileName() + RangementFichier::extensionArchive;
    if (Windows1252::depuisTexte(nomArchive).size() > 255 || QFile::encodeName(nomArchive).size() > 255) {
        mCanal.informer(QStringLiteral("Le nom de %1 est trop long pour une archive : il part sans compression.").arg(fichier));
        return {};
    }
    if (!mCompression) {
        mCompression = std::make_unique<Zipper>();
        mCompression->Preparer();
        mCompression->Reglage(0);
    }
    QDir().mkpath(mCanal.dossiers().travail());
    mCompression->Vider();
    mCompression->setNomArchive(mCanal.dossiers().travail() + QLatin1Char('/') + nomArchive);
    mCompression->Fichiers().append(fichier);
    QString raison;
    mCompression->Compresser(&raison);
    if (raison.isEmpty())
        return mCompression->NomArchive();
    detruit = !mCanal.demander({Question::Genre::Avertissement, fichier + QStringLiteral("\r\n") + raison, QStringLiteral("Compression")},
                               Portee::Etape);
    return {};
}

EnvoiFichier::Resultat EnvoiFichier::envoyerContenu(const QString &fichierDonne, const QString &fichier)
{
    const QByteArray nom = Windows1252::depuisTexte(QFileInfo(fichier).fileName());
    const qint64 longueurTexte = 12 + 1 + nom.size() + QFileInfo(fichier).size();
    if (nom.size() > 255)
        return mettreDeCote(fichierDonne, QStringLiteral("son nom dépasse 255 caractères"));
    if (mCanal.etat().extensionActive) {
        const Issue issue = mEtendu->envoyer(fichier, [this] { return etatLigne() != mLigneAuDebut; });
        if (issue == Issue::Fin)
            return Resultat::de(issue);
        return Resultat::de(issue, mEtendu->avance());
    }
    if (longueurTexte >= partiesMax * taillePartie)
        return mettreDeCote(fichierDonne, QStringLiteral("%1 caractères à transmettre, %2 au plus")
                                              .arg(longueurTexte)
                                              .arg(partiesMax * taillePartie - 1));
    QFile lecture(fichier);
    if (!lecture.open(QIODevice::ReadOnly)) {
        mCanal.informer(QStringLiteral("Lecture du fichier %1 impossible : %2").arg(fichier, lecture.errorString()));
        return {};
    }
    const QByteArray T = "RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + lecture.readAll();
    lecture.close();
    const Issue issue = envoyerTexte(T);
    return Resultat::de(issue);
}

EnvoiFichier::Issue EnvoiFichier::envoyerTexte(const QByteArray &T)
{
    // Every frame counts against one budget, restarts included, so that a bad line gives
    // the other files (and the other station) their turn.
    const qint64 P = T.size() < taillePartie ? 1 : T.size() / taillePartie + 1;
    qint64 tramesRestantes = 2 * P + 16;
    for (int reprise = 0;; ++reprise) {
        if (reprise > 0)
            mCanal.informer(
                QStringLiteral("Réponse perdue : le fichier repart du début (reprise %1 / %2)").arg(reprise).arg(reprisesMax));
        const ReponseCommande annonce = mCanal.commande("FICHIER", "OKFICHIER", DelaisMs::reponseLongue);
        if (!annonce.repondue()) {
            if (annonce.fin())
                return Issue::Fin;
            if (etatLigne() != mLigneAuDebut)
                return Issue::LignePerdue;
            mCanal.informer(QStringLiteral("Le poste distant n'est pas prêt"));
            return Issue::Abandon;
        }
        mCanal.erreurs().ligneSaine(); // the other station answers: the line carries
        const Issue issue = envoyerUneFois(T, P, tramesRestantes);
        if (issue != Issue::Inconnue)
            return issue;
        if (reprise == reprisesMax || tramesRestantes <= 0) {
            mCanal.informer(QStringLiteral("Le fichier n'est pas passé après %1 reprises : il attendra son tour.").arg(reprise));
            return Issue::Abandon;
        }
    }
}

EnvoiFichier::Issue EnvoiFichier::envoyerUneFois(const QByteArray &T, qint64 P, qint64 &tramesRestantes)
{
    int refus = 0;
    for (qint64 i = 1; i <= P;) {
        if (tramesRestantes-- <= 0) {
            mCanal.informer(QStringLiteral("Trop d'erreurs sur la ligne pour ce fichier : il attendra son tour."));
            return Issue::Abandon;
        }
        QByteArray commande = T;
        QByteArray attendu = "OKFICHIER";
        if (T.size() >= taillePartie) {
            mCanal.avancementEmission(AvancementFichier::parties(i, P));
            const QByteArray partie = T.mid((i - 1) * taillePartie, taillePartie);
            commande = "RECEPGROSFIC" + QByteArray::number(i).rightJustified(3, '0') + QByteArray::number(P).rightJustified(3, '0')
                + MGlobal::CleDonnees(partie) + '\t' + partie;
            if (i < P)
                attendu = "OKPARTFIC";
        }
        const ReponseCommande reponse = mCanal.commande(commande, attendu, qint32(commande.size() / 10 + DelaisMs::reponseLongue + 1000), "ERREURPARTFIC");
        if (reponse.fin())
            return Issue::Fin;
        if (reponse.repondue()) {
            mCanal.erreurs().ligneSaine();
            refus = 0;
            ++i;
            continue;
        }
        // Once the carrier is gone, the modem would read any more data as commands; a hang-up
        // inside the wait (too many line errors) leaves no line either.
        if (etatLigne() != mLigneAuDebut)
            return Issue::LignePerdue;
        if (reponse.texte.isEmpty())
            return Issue::Inconnue;
        // Refused: the receiver did not store it, so sending it again is safe with any station.
        if (++refus > refusParPartieMax) {
            mCanal.informer(QStringLiteral("Le poste distant n'a pas reçu sa part de fichier %1 / %2").arg(i).arg(P));
            return Issue::Abandon;
        }
        mCanal.informer(QStringLiteral("Nouvelle tentative sur le paquet %1 / %2").arg(i).arg(P));
    }
    return Issue::Livre;
}

std::tuple<quint32, quint32, quint32> EnvoiFichier::etatLigne() const
{
    // New keys are a new link: what the old ones carried is no answer under them.
    const EtatLigne etat = mCanal.etat();
    return {etat.pertesPorteuse, etat.deconnexions, etat.epoque};
}

EnvoiFichier::Resultat EnvoiFichier::mettreDeCote(const QString &fichier, const QString &raison)
{
    // Too big for the part numbering, or a name the line cannot carry: sending would fail
    // forever. The file goes aside, out of the scanner's reach, and the user is told.
    const QString dossier = QFileInfo(fichier).absolutePath() + QStringLiteral("/Refusés");
    QDir().mkpath(dossier);
    const QString cible = mCanal.dossiers().nomLibre(dossier, QFileInfo(fichier).fileName());
    if (!QFile::rename(fichier, cible)) {
        mCanal.informer(QStringLiteral("Le fichier %1 ne peut pas être envoyé (%2), et il ne peut pas être mis de côté dans %3.")
                               .arg(fichier, raison, dossier));
        return {};
    }
    mCanal.informer(
        QStringLiteral("Le fichier %1 ne peut pas être envoyé (%2) : il est mis de côté sous %3.").arg(fichier, raison, cible));
    return Resultat::fait(cible);
}
