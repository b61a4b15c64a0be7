#pragma once

// A window's state: the main window's, kept with the station, and the one a timed box opens
// in. The values are those the settings and the callers have always used.
namespace EtatFenetre {
enum : int {
    Normale = 0,
    Minimisee = 1,
    Agrandie = 2,
};
}
