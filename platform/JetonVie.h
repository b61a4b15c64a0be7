#pragma once

#include <memory>

// Tells whether an object still stands after a wait.
//
// Every wait (Plateforme::pomper, attendreQue, a modal box) runs handlers, and one of them may
// end the object whose function is waiting. Such an object holds a JetonVie. A function that
// waits takes a Temoin first and asks it after each wait, before touching any member: the
// Temoin outlives the object and answers false once the object has ended. Tasks and
// connections that may fire after the object's end capture a Temoin too.
class JetonVie
{
public:
    class Temoin
    {
    public:
        explicit operator bool() const { return *mVivant; }

    private:
        friend class JetonVie;
        explicit Temoin(std::shared_ptr<const bool> vivant) : mVivant(std::move(vivant)) {}
        std::shared_ptr<const bool> mVivant;
    };

    JetonVie() = default;
    ~JetonVie() { finir(); }
    JetonVie(const JetonVie &) = delete;
    JetonVie &operator=(const JetonVie &) = delete;

    Temoin temoin() const { return Temoin(mVivant); }
    // At the top of the owner's destructor, so that no wait resumes into its members while
    // they are being destroyed.
    void finir() { *mVivant = false; }
    bool vivant() const { return *mVivant; }

private:
    std::shared_ptr<bool> mVivant = std::make_shared<bool>(true);
};
