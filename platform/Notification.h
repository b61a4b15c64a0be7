#pragma once

#include <functional>
#include <vector>

// A notification raised by a logic object to whoever subscribed, in subscription order.
// Raising works on a copy of the subscriber list: a handler may subscribe, or tear the
// raising object down, without invalidating the loop.
template <typename... Args>
class Notification
{
public:
    using Abonne = std::function<void(Args...)>;

    void connecter(Abonne abonne) { mAbonnes.push_back(std::move(abonne)); }

    void operator()(Args... args) const
    {
        const std::vector<Abonne> abonnes = mAbonnes;
        for (const Abonne &abonne : abonnes)
            abonne(args...);
    }

private:
    std::vector<Abonne> mAbonnes;
};
