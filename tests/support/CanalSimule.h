#pragma once

#include "link/CanalLiaison.h"
#include "link/ErreursDeLigne.h"
#include "platform/production/DisqueLocal.h"
#include "serial/ParametresStation.h"
#include "tests/support/PlateformeSimulee.h"

#include <QList>
#include <QStringList>

// A channel with no engine behind it, to test one part alone: each command gets the answer
// the test gives, each write to the modem and each question too, and everything the part
// asks of the engine is recorded. Time is virtual: a pause or a wait moves the clock.
//
// finAuPas ends the engine at the n-th call that may run the event loop (counting from 1):
// that call and every later one report the engine gone, as the real one would.
class CanalSimule : public CanalLiaison
{
public:
    explicit CanalSimule(QString dossier);

    ParametresStation params;
    EtatLigne etatLigne{.modemConnecte = true, .pertesPorteuse = 0, .epoque = 0, .partieDistante = 4096,
                        .allerRetourMs = 100, .octetsParSeconde = 11520};
    std::function<ReponseCommande(const QByteArray &texte, const QByteArray &attendue)> surCommande;
    std::function<bool(const QByteArray &texte)> surModem = [](const QByteArray &) { return true; };
    std::function<ReponseQuestion(const Question &)> surQuestion = [](const Question &) { return ReponseQuestion{true, {}}; };
    bool testRepondu = true;
    bool portEstOuvert = true;
    int finAuPas = 0; // 0: never

    // What the part did.
    QList<QByteArray> commandes;  // commands and answers, in order
    QList<QByteArray> versModem;
    QStringList informations;
    QList<Question> questions;
    QList<GenreSupervision> armements;
    QStringList fichiersRecus;
    QStringList evenements; // the owner's and the engine's: "réception commencée", "raccrochage"…
    int pas() const { return mPas; }
    bool fin() const { return mFini; }

    mutable PlateformeSimulee plateforme;
    DisqueLocal disqueLocal;
    ErreursDeLigne erreursDeLigne;

    ReponseCommande commande(const QByteArray &texte, const QByteArray &attendue, qint32 delaiMs, const QByteArray &refus) override;
    ReponseCommande repondre(const QByteArray &texte) override;
    std::optional<bool> testerLiaison(bool avecEvenement) override;
    bool attendreCapacites() override { return pasSuivant(); }
    std::optional<bool> ouvrirPort() override;
    std::optional<bool> ecrireAuModem(const QByteArray &texte, const QByteArray &attendu, qint32 delaiMs, Portee portee) override;
    bool pause(qint32 ms, Portee portee) override;
    std::optional<ReponseQuestion> demander(const Question &question, Portee portee) override;
    bool couper(Portee portee) override;
    std::optional<bool> raccrocherEtRappeler(qint32 pauseMs) override;
    bool attendreQue(const std::function<bool()> &condition, quint32 delaiMs) override;
    bool lienConstate() override;
    bool fermerPort() override;

    void informer(const QString &texte) override { informations << texte; }
    void avancementEmission(const AvancementFichier &) override {}
    void avancementReception(const AvancementFichier &) override {}
    ErreursDeLigne &erreurs() override { return erreursDeLigne; }
    void armer(GenreSupervision genre, bool) override { armements << genre; }
    void arreterSupervision() override { armements << GenreSupervision::NonDefinie; }
    void attacherMinuterie() override {}
    void planifier(qint64 delaiUs, std::function<void()> action) override;
    void fichierRecu(const QString &chemin) override { fichiersRecus << chemin; }
    void receptionCommencee() override { evenements << QStringLiteral("réception commencée"); }
    void receptionFinie(bool entiere) override { evenements << (entiere ? QStringLiteral("réception finie") : QStringLiteral("réception abandonnée")); }
    void finEnvoi() override { evenements << QStringLiteral("fin d'envoi"); }
    void posteDistantReconnu() override { evenements << QStringLiteral("reconnu"); }
    void curseurAttente(bool) override {}
    void redemanderCapacites() override { evenements << QStringLiteral("capacités redemandées"); }
    void changerRole(bool appelant, const QString &numero, bool) override;
    bool portOuvert() const override { return portEstOuvert; }
    bool ligneOccupee() const override { return false; }
    void arreterAttente() override {}
    void cederAttente() override {}
    void noterSansModem(bool sansModem) override { etatLigne.sansModem = sansModem; }
    void sceller(std::unique_ptr<CanalChiffre> canal) override { mScellee = canal != nullptr; }
    bool scellee() const override { return mScellee; }
    EtatLigne etat() const override;
    QByteArray reponseAuTest() const override { return "OUI"; }
    QByteArray reponseDistante() const override { return "OUI"; }
    const ParametresStation &parametres() const override { return params; }
    DossiersPoste dossiers() const override;
    QString argumentLigneCommande() const override { return QStringLiteral("essai"); }
    Disque &disque() override { return disqueLocal; }
    quint32 tickMs() const override { return plateforme.tickMs(); }
    QDateTime maintenant() const override { return plateforme.maintenant(); }

private:
    bool executer(Portee portee, const std::function<void()> &etape) override;
    // One more call that may run the event loop: false from finAuPas on.
    bool pasSuivant();

    QString mDossier;
    int mPas = 0;
    bool mFini = false;
    bool mScellee = false;
};
