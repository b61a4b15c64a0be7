#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
bash "$racine/tools/installer-dependances.sh"
cmake -S "$racine" -B "$racine/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$racine/build" --target navette navette-modem
exec "$racine/build/navette" "$@"
