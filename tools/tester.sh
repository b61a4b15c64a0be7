#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. An argument picks another
# build of CMakePresets.json: "asan" builds with clang under AddressSanitizer and UBSan.
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
variante="${1:-dev}"
bash "$racine/tools/installer-dependances.sh"
cd "$racine"
cmake --preset "$variante" >/dev/null
cmake --build --preset "$variante"
ctest --preset "$variante"
# The Debian package: built, checked by lintian, installed, tried as its service runs, removed.
if [ "$variante" = dev ] && [ "$(id -u)" -eq 0 ]; then
  bash "$racine/tools/paquet.sh" --essai
fi
