#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>

#include <csignal>

// A real program for the real-time tests, stopped with SIGTERM and waited for when the guard
// goes. Without a display unless the environment given has one.
class Programme
{
public:
    static QProcessEnvironment sansAffichage()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *nom : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(nom));
        return env;
    }

    // Runs it to its end: its exit code, what it wrote on both outputs in *sortie.
    static int executer(const QString &programme, const QStringList &arguments, QByteArray *sortie = nullptr)
    {
        QProcess p;
        p.setProcessEnvironment(sansAffichage());
        p.start(programme, arguments);
        p.waitForFinished(10'000);
        if (sortie)
            *sortie = p.readAllStandardOutput() + p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    Programme(const QString &programme, const QStringList &arguments, const QProcessEnvironment &env = sansAffichage())
    {
        processus.setProcessEnvironment(env);
        processus.start(programme, arguments);
        processus.waitForStarted();
    }
    ~Programme() { arreter(); }
    Programme(const Programme &) = delete;
    Programme &operator=(const Programme &) = delete;

    // SIGTERM, as the service manager sends it; its exit code, -1 if it did not end in order.
    int arreter()
    {
        if (processus.state() == QProcess::NotRunning)
            return processus.exitStatus() == QProcess::NormalExit ? processus.exitCode() : -1;
        ::kill(pid_t(processus.processId()), SIGTERM);
        if (!processus.waitForFinished(20'000)) {
            processus.kill();
            processus.waitForFinished();
            return -1;
        }
        return processus.exitStatus() == QProcess::NormalExit ? processus.exitCode() : -1;
    }

    QProcess processus;
};
