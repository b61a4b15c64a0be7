#include "bench/DeuxPostesReels.h"

#include "tests/support/StationSimulee.h"
#include "tools/modem/ServeurModems.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include "platform/production/DisqueLocal.h"
#include "securite/CleStation.h"

#include <csignal>
#include <cstdio>

DeuxPostesReels::DeuxPostesReels(const QStringList &optionsModem, quint16 premierPort, const QByteArray &clesPostes)
{
    const quint16 port = ServeurModems::premierPortLibre(2, premierPort);
    mModem.start(NAVETTE_MODEM, QStringList({"--port", QString::number(port), "--vitesse", "115200"}) + optionsModem);
    if (port == 0 || !mModem.waitForStarted() || !mModem.waitForReadyRead(5000)) {
        std::fprintf(stderr, "navette-modem n'a pas démarré.\n");
        return;
    }
    // "CleDistante=@": each station pins the other's key, made here as --cle makes it.
    QByteArray clesA = clesPostes, clesB = clesPostes;
    if (clesPostes.contains("CleDistante=@")) {
        DisqueLocal disque;
        QString erreur;
        const auto cle = [&](const char *section) { return CleStation::charger(disque, mDossier.path(), section, erreur)->publique().toLatin1(); };
        clesA.replace("CleDistante=@", "CleDistante=" + cle("Port B"));
        clesB.replace("CleDistante=@", "CleDistante=" + cle("Port A"));
    }
    ecrireFichier(mDossier.filePath("navette.INI"),
                  "[Port A]\nNumPort=TCP1:\nParametresPort=115200, n, 8, 1\nPosteAppellant=-1\nNumTelAppel=2\n" + clesA
                      + "[Port B]\nNumPort=TCP2:\nParametresPort=115200, n, 8, 1\nPosteAppellant=0\n" + clesB
                      + "[Ports]\nTCP1:=127.0.0.1:"
                      + QByteArray::number(port) + "\nTCP2:=127.0.0.1:" + QByteArray::number(port + 1) + "\n");
    for (auto [processus, nom] : {std::pair{&mB, "B"}, std::pair{&mA, "A"}}) {
        processus->setStandardOutputFile(mDossier.filePath(QString::fromLatin1(nom) + ".sortie"));
        processus->start(NAVETTE, {"--sans-fenetre", "--dossier", mDossier.path(), nom});
        processus->waitForStarted();
        QThread::msleep(300);
    }
    mDemarre = true;
}

std::pair<qint64, qint64> DeuxPostesReels::octetsRemis()
{
    mSortieModem += mModem.readAllStandardOutput();
    for (qsizetype fin; (fin = mSortieModem.indexOf('\n')) >= 0; mSortieModem.remove(0, fin + 1)) {
        const QByteArray ligne = mSortieModem.left(fin);
        const qsizetype debut = ligne.indexOf("octets remis : 1=");
        if (debut < 0)
            continue;
        const QList<QByteArray> champs = ligne.mid(debut + 15).split(' ');
        if (champs.size() >= 2)
            mRemis = {champs[0].mid(2).toLongLong(), champs[1].mid(2).toLongLong()};
    }
    return mRemis;
}

bool DeuxPostesReels::attendre(const std::function<bool()> &condition, qint64 limiteMs)
{
    QElapsedTimer chrono;
    chrono.start();
    while (!condition()) {
        if (chrono.elapsed() > limiteMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    return true;
}

bool DeuxPostesReels::prets() const
{
    const QString journal = chemin("journal/A.log");
    if (!mDemarre || !attendre([&] { return lireFichier(journal).contains("\tCONNEXION\tDialogue établi"); }, 60'000)) {
        std::fprintf(stderr, "La liaison ne s'est pas établie.\n");
        return false;
    }
    attendre([] { return false; }, 13'000);
    return true;
}

double DeuxPostesReels::livrer(const QString &nom, const QByteArray &contenu, qint64 limiteMs) const
{
    const QString prepare = chemin(nom);
    ecrireFichier(prepare, contenu);
    QElapsedTimer chrono;
    chrono.start();
    QFile::rename(prepare, chemin("Envois à A/" + nom));
    const QString recu = chemin("Recus de B/" + nom.toUpper());
    if (!attendre([&] { return QFileInfo(recu).size() == contenu.size(); }, limiteMs))
        return -1;
    const double secondes = double(chrono.nsecsElapsed()) / 1e9;
    return lireFichier(recu) == contenu ? secondes : -1;
}

double DeuxPostesReels::croiser(const QString &nom, const QByteArray &contenu, qint64 limiteMs) const
{
    for (const char *cote : {"A", "B"})
        ecrireFichier(chemin(QStringLiteral("%1-%2").arg(QString::fromLatin1(cote).toLower(), nom)), contenu);
    QElapsedTimer chrono;
    chrono.start();
    QFile::rename(chemin("a-" + nom), chemin("Envois à A/a-" + nom));
    QFile::rename(chemin("b-" + nom), chemin("Envois à B/b-" + nom));
    const QString versB = chemin("Recus de B/A-" + nom.toUpper()), versA = chemin("Recus de A/B-" + nom.toUpper());
    if (!attendre([&] { return QFileInfo(versB).size() == contenu.size() && QFileInfo(versA).size() == contenu.size(); }, limiteMs))
        return -1;
    const double secondes = double(chrono.nsecsElapsed()) / 1e9;
    return lireFichier(versB) == contenu && lireFichier(versA) == contenu ? secondes : -1;
}

std::pair<DeuxPostesReels::Sens, DeuxPostesReels::Sens> DeuxPostesReels::chargeReguliere(const std::function<QByteArray(int)> &contenu,
                                                                                       int dureeS) const
{
    struct Suivi
    {
        QString prefixe, sortie, recus;
        QHash<QString, qint64> deposes, arrives; // name in capitals -> ms
    };
    Suivi suivis[] = {{"a", chemin("Envois à A"), chemin("Recus de B"), {}, {}}, {"b", chemin("Envois à B"), chemin("Recus de A"), {}, {}}};
    QElapsedTimer chrono;
    chrono.start();
    const auto relever = [&] {
        for (Suivi &s : suivis)
            for (const QString &nom : QDir(s.recus).entryList(QDir::Files))
                if (!s.arrives.contains(nom) && s.deposes.contains(nom))
                    s.arrives.insert(nom, chrono.elapsed());
    };
    for (int i = 0; i < dureeS; ++i) {
        for (Suivi &s : suivis) {
            const QString nom = QStringLiteral("%1%2.csv").arg(s.prefixe).arg(i, 4, 10, QLatin1Char('0'));
            ecrireFichier(chemin(nom), contenu(i));
            QFile::rename(chemin(nom), s.sortie + QLatin1Char('/') + nom);
            s.deposes.insert(nom.toUpper(), chrono.elapsed());
        }
        attendre([&] { relever(); return chrono.elapsed() >= (i + 1) * 1000; }, 2000);
    }
    attendre([&] { relever(); return suivis[0].arrives.size() == dureeS && suivis[1].arrives.size() == dureeS; }, 60'000);
    // The last file may be in while its acknowledgement is still on its way back.
    attendre([&] { return QDir(suivis[0].sortie).isEmpty(QDir::Files) && QDir(suivis[1].sortie).isEmpty(QDir::Files); }, 5000);
    std::pair<Sens, Sens> bilan;
    for (auto [s, b] : {std::pair{&suivis[0], &bilan.first}, std::pair{&suivis[1], &bilan.second}}) {
        b->deposes = int(s->deposes.size());
        b->livres = int(s->arrives.size());
        b->restes = int(QDir(s->sortie).entryList(QDir::Files).size());
        for (auto it = s->arrives.cbegin(); it != s->arrives.cend(); ++it)
            b->attenteMaxS = std::max(b->attenteMaxS, double(it.value() - s->deposes.value(it.key())) / 1000);
    }
    return bilan;
}

DeuxPostesReels::~DeuxPostesReels()
{
    for (QProcess *processus : {&mA, &mB}) {
        if (processus->state() == QProcess::NotRunning)
            continue;
        ::kill(pid_t(processus->processId()), SIGTERM);
        processus->waitForFinished(20'000);
    }
    mModem.terminate();
    mModem.waitForFinished();
}
