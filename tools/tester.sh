#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite. An argument picks another
# build of CMakePresets.json: "asan" builds with clang under AddressSanitizer and UBSan.
# --paquet also builds the Debian package, installs it on this machine (root), tries it as
# its service runs, and removes it: never without being asked.
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
variante=dev
paquet=0
for argument in "$@"; do
  case "$argument" in
    --paquet) paquet=1 ;;
    *) variante="$argument" ;;
  esac
done
bash "$racine/tools/installer-dependances.sh"
cd "$racine"
cmake --preset "$variante" >/dev/null
cmake --build --preset "$variante"
ctest --preset "$variante"
if [ "$paquet" = 1 ]; then
  ctest --preset paquet
fi
