#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP become a call on the event loop's thread: the orderly shutdown
// runs there, never inside the signal handler.
class SignauxArret : public QObject
{
public:
    explicit SignauxArret(std::function<void(int)> surSignal);
    ~SignauxArret() override;

private:
    static void gerer(int signal);
    static inline int sTube[2] = {-1, -1};
    QSocketNotifier *mNotificateur = nullptr;
    std::function<void(int)> mSurSignal;
};
