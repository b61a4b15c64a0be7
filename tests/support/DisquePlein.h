#pragma once

#include <csignal>
#include <sys/resource.h>

// A full disk for this process while the guard lives: no file may grow past `octets`, and a
// write beyond fails with "file too large" instead of raising SIGXFSZ.
class DisquePlein
{
public:
    explicit DisquePlein(rlim_t octets)
    {
        getrlimit(RLIMIT_FSIZE, &mAvant);
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limite = mAvant;
        limite.rlim_cur = octets;
        setrlimit(RLIMIT_FSIZE, &limite);
    }
    ~DisquePlein() { setrlimit(RLIMIT_FSIZE, &mAvant); }
    DisquePlein(const DisquePlein &) = delete;
    DisquePlein &operator=(const DisquePlein &) = delete;

private:
    rlimit mAvant{};
};
