#pragma once

#include "link/CanalLiaison.h"

class CInterlocuteur;

// The channel the engine gives its parts: every verb a part may use, and nothing of the
// engine's driver, platform or owner beyond them.
class CanalPoste final : public CanalLiaison
{
public:
    explicit CanalPoste(CInterlocuteur &poste) : mPoste(poste) {}

    ReponseCommande commande(const QByteArray &texte, const QByteArray &attendue, qint32 delaiMs, const QByteArray &refus) override;
    ReponseCommande repondre(const QByteArray &texte) override;
    std::optional<bool> testerLiaison(bool avecEvenement) override;
    bool attendreCapacites() override;
    std::optional<bool> ouvrirPort() override;
    std::optional<bool> ecrireAuModem(const QByteArray &texte, const QByteArray &attendu, qint32 delaiMs, Portee portee) override;
    bool pause(qint32 ms, Portee portee) override;
    std::optional<ReponseQuestion> demander(const Question &question, Portee portee) override;
    bool couper(Portee portee) override;
    std::optional<bool> raccrocherEtRappeler(qint32 pauseMs = 0) override;
    bool attendreQue(const std::function<bool()> &condition, quint32 delaiMs) override;
    bool lienConstate() override;
    bool fermerPort() override;

    void informer(const QString &texte) override;
    void avancementEmission(const AvancementFichier &avancement) override;
    void avancementReception(const AvancementFichier &avancement) override;
    ErreursDeLigne &erreurs() override;
    void armer(GenreSupervision genre, bool relance) override;
    void arreterSupervision() override;
    void attacherMinuterie() override;
    void planifier(qint64 delaiUs, std::function<void()> action) override;
    void fichierRecu(const QString &chemin) override;
    void receptionCommencee() override;
    void receptionFinie(bool entiere) override;
    void finEnvoi() override;
    void posteDistantReconnu() override;
    void curseurAttente(bool attente) override;
    void redemanderCapacites() override;
    void changerRole(bool appelant, const QString &numero, bool enregistrer) override;
    bool portOuvert() const override;
    bool ligneOccupee() const override;
    void arreterAttente() override;
    void cederAttente() override;
    void noterSansModem(bool sansModem) override;
    void sceller(std::unique_ptr<CanalChiffre> canal) override;
    bool scellee() const override;
    EtatLigne etat() const override;
    QByteArray reponseAuTest() const override;
    QByteArray reponseDistante() const override;
    const ParametresStation &parametres() const override;
    DossiersPoste dossiers() const override;
    QString argumentLigneCommande() const override;
    Disque &disque() override;
    quint32 tickMs() const override;
    QDateTime maintenant() const override;

private:
    bool executer(Portee portee, const std::function<void()> &etape) override;

    CInterlocuteur &mPoste;
};
