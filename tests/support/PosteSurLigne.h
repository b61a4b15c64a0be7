#pragma once

#include "tests/support/BancLigne.h"
#include "tests/support/PosteSimule.h"

// A station alone on a simulated line whose other end is a scripted peer; its timed boxes
// count down in virtual time.
struct PosteSurLigne : BancLigne, PosteSimule
{
    PosteSurLigne() : PosteSimule(BancLigne::env(), BancLigne::plateforme) { boites.setPlateforme(&plateforme); }
    BancLigne &banc = *this;
};
