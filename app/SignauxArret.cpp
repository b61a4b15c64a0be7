#include "app/SignauxArret.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

SignauxArret::SignauxArret(std::function<void(int)> surSignal) : mSurSignal(std::move(surSignal))
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, sTube) != 0)
        return;
    ::fcntl(sTube[1], F_SETFL, O_NONBLOCK);
    mNotificateur = new QSocketNotifier(sTube[0], QSocketNotifier::Read, this);
    connect(mNotificateur, &QSocketNotifier::activated, this, [this] {
        unsigned char numero = 0;
        if (::read(sTube[0], &numero, 1) == 1 && mSurSignal)
            mSurSignal(numero);
    });
    struct sigaction action = {};
    action.sa_handler = &SignauxArret::gerer;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(s, &action, nullptr);
}

SignauxArret::~SignauxArret()
{
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        std::signal(s, SIG_DFL);
}

void SignauxArret::gerer(int signal)
{
    const unsigned char numero = static_cast<unsigned char>(signal);
    [[maybe_unused]] const auto ecrit = ::write(sTube[1], &numero, 1);
}
