#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need; skips what is already there.
set -euo pipefail
paquets=(g++ cmake ninja-build pkg-config qt6-base-dev qt6-serialport-dev qt6-translations-l10n
         libzip-dev zlib1g-dev libzstd-dev liblzma-dev libbz2-dev libsystemd-dev libsodium-dev python3-dissononce fonts-dejavu-core socat xvfb xauth unzip python3
         clang libclang-rt-14-dev dpkg-dev lintian ser2net
         fuse3 libfuse3-dev)
manquants=()
for p in "${paquets[@]}"; do
  etat=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$etat" = installed ] || manquants+=("$p")
done
if [ ${#manquants[@]} -eq 0 ]; then
  echo "Dépendances : tout est déjà installé."
  exit 0
fi
echo "Dépendances à installer : ${manquants[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Il faut être root pour installer les paquets manquants." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update -qq </dev/null
apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${manquants[@]}" </dev/null
