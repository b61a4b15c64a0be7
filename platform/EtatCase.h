#pragma once

// A check box's value as the windows, the settings dialog and the link engine keep it. Grey
// is set from code only: the main window's "Connecter" shows it while the link retries.
namespace EtatCase {
enum : int {
    Decoche = 0,
    Coche = 1,
    Grise = 2,
};
}
