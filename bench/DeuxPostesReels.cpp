#include "bench/DeuxPostesReels.h"

#include "tests/support/PosteSimule.h"
#include "tools/modem/ServeurModems.h"

#include <QCoreApplication>
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
