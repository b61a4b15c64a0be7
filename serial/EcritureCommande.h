#pragma once

#include "platform/JetonVie.h"

#include <QByteArray>
#include <QString>

#include <optional>

class Plateforme;
class PortCom;
class TamponTrames;

// Writing one command of the link and waiting for its answer: take the line (a frame of the
// other station coming in keeps it), frame and seal the text, write it in chunks, then wait
// for the answer, a refusal, a stop or the loss of the carrier.
//
// Handlers run inside every wait. One may write again: an answer to the other station's
// command then goes out at once, after the frame being written. One may stop the wait, or
// end the driver: every wait asks the driver's token before going on.
class EcritureCommande
{
public:
    // What writing needs of the line driver.
    class Ligne
    {
    public:
        // Null when the driver holds no port.
        virtual PortCom *port() = 0;
        virtual bool connecter() = 0;
        virtual void garderTramesSuivantes(bool rendreEntete) = 0;
        virtual void viderReception() = 0;
        // Under the connection's keys when there are some; nothing once they are spent.
        virtual std::optional<QByteArray> sceller(const QByteArray &texte) = 0;
        virtual quint32 pertesPorteuse() const = 0;
        // Changes with the connection and its keys.
        virtual quint32 epoque() const = 0;
        // A received frame is in its handler's hands.
        virtual bool livraisonEnCours() const = 0;
        virtual void progressionEmission(qint32 fait, qint32 total) = 0;
        virtual void erreur(const QString &texte) = 0;

    protected:
        ~Ligne() = default;
    };

    // Without regard to case, as the other station's answers are compared.
    static bool commencePar(const QByteArray &texte, const QByteArray &debut)
    {
        return !debut.isEmpty() && texte.left(debut.size()).compare(debut, Qt::CaseInsensitive) == 0;
    }

    // What the innermost write waits for, and what the reader found for it.
    struct Attente
    {
        QByteArray reponseAttendue;
        QByteArray reponseRefus;
        // Only the awaited answer or the refusal ends the wait; any other text is handled as
        // it comes, as if nothing were awaited.
        bool repondPar(const QByteArray &texte) const { return commencePar(texte, reponseAttendue) || commencePar(texte, reponseRefus); }
        QByteArray texteEnvoye; // unframed
        bool complete = false;  // its framed answer is in
        bool acceptee = false;  // and begins with reponseAttendue
        quint32 tick = 0;       // since when
        QByteArray reponse;
        bool porteusePerdue = false; // "NO CARRIER" came instead
        quint32 epoque = 0;          // the keys the command went out under
    };

    EcritureCommande(Plateforme &plateforme, const TamponTrames &tampon, const JetonVie &vie, Ligne &ligne)
        : mPlateforme(plateforme), mTampon(tampon), mVie(vie), mLigne(ligne)
    {}

    // A framed answer beginning with reponseRefus ends the wait at once: false, with no
    // error reported, since the other station did answer.
    bool ecrire(const QByteArray &texte, const QByteArray &reponseAttendue, qint32 delai, bool tramee, QByteArray *reponseRecue,
                const QByteArray &reponseRefus);

    bool occupe() const { return mEnCours; }
    Attente *attente() const { return mAttente; }
    // The reader looks for our framed answer rather than for commands.
    bool reponseTrameeAttendue() const { return mReponseTrameeAttendue; }
    // A frame of the other station is coming in: a write waits until it is whole.
    void setLigneOccupee(bool occupee) { mLigneOccupee = occupee; }
    // The port opened or closed: nothing is under way on the line.
    void liberer()
    {
        mLigneOccupee = false;
        mReponseTrameeAttendue = false;
    }
    void arreter() { mArreter = true; }
    void ceder() { mCeder = true; }
    // Stops the write under way and its wait; what waits to follow our frame goes too.
    void porteusePerdue();

    static constexpr qint32 tailleBloc = 512;

private:
    struct Ecriture;
    enum class Suite {
        Continuer,
        Abandon, // the port would not open, or the line stayed busy: nothing written, no error
        Detruit, // the driver went away inside a wait
        Echec,   // reported through the driver's error
        Refus,   // the other station answered reponseRefus
        Perdue,  // the connection or its keys changed: no answer can come for this command
    };
    Suite prendreLaLigne(Ecriture &e);
    Suite tramer(Ecriture &e);
    Suite ecrireTrame(Ecriture &e);
    Suite attendreReponse(Ecriture &e);
    bool reponseArrivee(Ecriture &e);
    static bool reponseRefusee(const Ecriture &e);
    static Suite echec(Ecriture &e, const QString &texte);
    bool conclure(Ecriture &e, Suite suite, QByteArray *reponseRecue);
    void finir(const Ecriture &e, bool reussite);
    bool ecrireReponseImbriquee(const QByteArray &texte);
    // Our frame is whole in the port: answers held back meanwhile follow it.
    void finirEmission();

    Plateforme &mPlateforme;
    const TamponTrames &mTampon;
    const JetonVie &mVie;
    Ligne &mLigne;
    bool mEnCours = false;
    bool mArreter = false;
    bool mCeder = false;
    bool mLigneOccupee = false;
    bool mReponseTrameeAttendue = false;
    bool mEmissionEnCours = false; // our chunks are being written
    QByteArray mReponsesDifferees; // answers to write after those chunks
    Attente *mAttente = nullptr;
};
