#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <tuple>
#include <utility>

class CanalLiaison;
class EnvoiCode;
class EnvoiEtendu;
class Zipper;

// Sending one file of the outgoing folder: compressed apart when above 300 bytes, then as
// one frame or in acknowledged parts, within a budget of frames so that a bad line gives
// the other files their turn. A file that can never travel is set aside.
//
// Sending waits with events running: the link may be torn down meanwhile, and this with it.
class EnvoiFichier
{
public:
    explicit EnvoiFichier(CanalLiaison &canal);
    ~EnvoiFichier();

    enum class Issue {
        Livre,       // acknowledged
        Abandon,     // refused too often, or the effort's budget spent
        Inconnue,    // no readable answer: the part may or may not be stored
        LignePerdue, // the carrier was lost, or the link hung up
        Fin,         // the link was torn down
    };
    // What one send came to, and why: all the caller needs, nothing to read afterwards.
    struct Resultat
    {
        // The caller is done with the file: delivered, gone, or set aside.
        bool fichierRegle = false;
        Issue issue = Issue::Abandon;
        QString misDeCote; // where the file went, when it cannot travel
        // Though not finished, the send left more of the file with the other station.
        bool avance = false;
        // Ended on a lost carrier: there is no line left to test.
        bool coupe() const { return issue == Issue::LignePerdue; }

        static Resultat de(Issue issue, bool avance = false)
        {
            Resultat r;
            r.fichierRegle = issue == Issue::Livre;
            r.issue = issue;
            r.avance = avance;
            return r;
        }
        // Nothing more to do with the file: it is gone, or it went to misDeCote.
        static Resultat fait(QString misDeCote = {})
        {
            Resultat r;
            r.fichierRegle = true;
            r.misDeCote = std::move(misDeCote);
            return r;
        }
    };
    Resultat envoyer(const QString &fichier);
    // A file is on its way: the send watches the line until it ends.
    bool enCours() const { return mEnCours; }
    void fermer();
    // The send between two of our stations, when both showed the extension.
    EnvoiEtendu &etendu() { return *mEtendu; }
    const EnvoiEtendu &etendu() const { return *mEtendu; }

private:
    // The archive to send instead of the file, empty when it goes as it is.
    QString compresser(const QString &fichier, bool &detruit);
    // The file read and sent, or set aside when it cannot travel.
    Resultat envoyerContenu(const QString &fichierDonne, const QString &fichier);
    Issue envoyerTexte(const QByteArray &T);
    Issue envoyerUneFois(const QByteArray &T, qint64 P, qint64 &tramesRestantes);
    // Changes with every carrier loss and every hang-up: a send stops when it changed.
    std::tuple<quint32, quint32, quint32> etatLigne() const;
    Resultat mettreDeCote(const QString &fichier, const QString &raison);
    // The send over, Fin aside: the supervision goes back to the line.
    Resultat terminer(const Resultat &resultat);

    CanalLiaison &mCanal;
    std::unique_ptr<Zipper> mCompression;
    std::unique_ptr<EnvoiEtendu> mEtendu;
    std::unique_ptr<EnvoiCode> mCode;
    bool mEnCours = false;
    std::tuple<quint32, quint32, quint32> mLigneAuDebut;
};
