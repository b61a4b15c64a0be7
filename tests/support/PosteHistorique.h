#pragma once

#include "link/shared/MGlobal.h"
#include "platform/Dezipper.h"
#include "platform/production/DisqueLocal.h"
#include "platform/Windows1252.h"
#include "serial/FComm.h"
#include "tests/support/StationSimulee.h"
#include "tests/support/BancModems.h"

#include <QFile>
#include <QHash>
#include <QMultiHash>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

// Stations of the original design, as the tests put them against ours over emulated modems.

// Written elsewhere, then moved in whole, as a careful user does.
inline void deposer(StationSimulee &app, const QString &nom, const QByteArray &contenu)
{
    const QString brouillon = app.chemin(nom);
    ecrireFichier(brouillon, contenu);
    QVERIFY(QFile::rename(brouillon, app.lien().Parametres.CheminFichiersAEnvoyer + "/" + nom));
}

// A receiver of the original design on COM2: it appends every part whose key is right,
// knows no repeat, and remembers nothing. Like ours, it acknowledges only an archive that
// opens: the part key misses some damage, and a receiver that stored an archive unopened
// would keep those files damaged whatever the sender does.
struct RecepteurHistorique
{
    explicit RecepteurHistorique(BancModems &banc) : plateforme(banc.plateforme), comm(banc.env())
    {
        comm.msNumPort = QStringLiteral("COM2:");
        comm.Reception.connecter([this](const QByteArray &t) {
            comm.TexteReçu_Clear();
            if (const QByteArray r = repondre(t); !r.isEmpty())
                comm.Ecrire(r);
            if (apresReponse)
                apresReponse(t);
        });
        comm.Connecter();
        comm.Ecrire("ATV1S0=1\r", "OK", 2000, false);
    }

    QByteArray repondre(const QByteArray &t)
    {
        if (t.startsWith("YAQUELQUUN?") || t.startsWith("CLK"))
            return "OUI";
        if (t.startsWith("FICHIER"))
            return "OKFICHIER";
        if (t.startsWith("RECEPFICHIER"))
            return ranger(t.mid(12)) ? "OKFICHIER" : "";
        if (!t.startsWith("RECEPGROSFIC"))
            return {};
        const qsizetype tab = t.indexOf('\t', 18);
        const QByteArray partie = t.mid(tab + 1);
        if (tab < 0 || MGlobal::CleDonnees(partie) != t.mid(18, tab - 18))
            return "ERREURPARTFIC";
        if (t.mid(12, 3) == "001")
            enCours.clear();
        // The same part again, not a part whose number the noise changed.
        repetitions += t.mid(12, 3) != "001" && t.mid(12, 3) == dernierNumero && partie == dernierePartie;
        dernierNumero = t.mid(12, 3);
        dernierePartie = partie;
        enCours += partie;
        if (t.mid(12, 3) != t.mid(15, 3))
            return "OKPARTFIC";
        return ranger(enCours.mid(12)) ? "OKFICHIER" : "";
    }

    bool ranger(const QByteArray &texte)
    {
        const int n = texte.isEmpty() ? 0 : static_cast<unsigned char>(texte[0]);
        QString nom = Windows1252::versTexte(texte.mid(1, n)).toUpper();
        QByteArray contenu = texte.mid(1 + n);
        if (nom.endsWith(".ZQZIP")) {
            nom.chop(6);
            QTemporaryDir travail;
            ecrireFichier(travail.filePath("a.zip"), contenu);
            DisqueLocal disque;
            Dezipper d(disque);
            d.setNomArchive(travail.filePath("a.zip"));
            d.setDossierExtraction(travail.path());
            QString raison;
            d.Decompresser(&raison);
            if (!raison.isEmpty())
                return false;
            contenu = lireFichier(d.FichierExtrait());
        }
        recus.insert(nom, contenu);
        arrivees.insert(nom, plateforme.maintenantUs() / 1000);
        return true;
    }

    Plateforme &plateforme;
    std::function<void(const QByteArray &)> apresReponse;
    QHash<QString, qint64> arrivees; // ms
    FComm comm;
    QByteArray enCours;
    QByteArray dernierNumero, dernierePartie;
    int repetitions = 0;
    QMultiHash<QString, QByteArray> recus;
};

// The same older station with files of its own, scanned as that design does: every 3 s, and
// 4 + 3 s after a file reached it; a file announced stops its scanner until that file is in.
// Its files are small enough to go whole and uncompressed.
struct PosteHistorique : RecepteurHistorique
{
    explicit PosteHistorique(BancModems &banc) : RecepteurHistorique(banc)
    {
        apresReponse = [this](const QByteArray &t) {
            // Called, it tests the link 1.5 s after the connection, which the caller confirms.
            if (t.startsWith(Windows1252::depuisTexte(QStringLiteral("Connecté")))) {
                plateforme.planifier(1'500'000, [this] { comm.Ecrire("YAQUELQUUN?", "OUI", 3000); });
            } else if (t.startsWith("FICHIER")) {
                plateforme.annuler(std::exchange(prochain, 0));
                arrete = true;
            } else if (t.startsWith("RECEPFICHIER") || (t.startsWith("RECEPGROSFIC") && t.mid(12, 3) == t.mid(15, 3))) {
                arrete = false;
                armer(7000);
            }
        };
        armer(3000);
    }
    void armer(quint32 ms)
    {
        plateforme.annuler(prochain);
        prochain = plateforme.planifier(qint64(ms) * 1000, [this] {
            prochain = 0;
            balayer();
        });
    }
    void balayer()
    {
        while (!aEnvoyer.isEmpty() && !arrete) {
            const auto &[nom, contenu] = aEnvoyer.first();
            const QByteArray texte = "RECEPFICHIER" + QByteArray(1, char(nom.size())) + nom + contenu;
            if (!comm.Ecrire("FICHIER", "OKFICHIER", 3000) || !comm.Ecrire(texte, "OKFICHIER", qint32(texte.size() / 10 + 4000)))
                break;
            aEnvoyer.removeFirst();
        }
        if (!arrete)
            armer(3000);
    }
    QList<std::pair<QByteArray, QByteArray>> aEnvoyer;
    Plateforme::Identifiant prochain = 0;
    bool arrete = false;
};
