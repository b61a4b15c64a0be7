#!/usr/bin/env bash
# Builds the Debian package in build-paquet/ and checks it with lintian. With --essai, also
# installs it, runs the installed program, checks the confined service's user, and removes it.
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
cd "$racine"
bash tools/installer-dependances.sh
cmake -S . -B build-paquet -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-paquet
(cd build-paquet && cpack -G DEB >/dev/null)
paquet=$(ls -t build-paquet/navette_*.deb | head -1)
echo "Paquet : $paquet"
dpkg-deb --info "$paquet" | sed -n '/Depends/p'
lintian --fail-on error --no-tag-display-limit "$paquet"
echo "lintian : aucune erreur."

[ "${1:-}" = --essai ] || exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Il faut être root pour essayer le paquet (sudo bash tools/tester.sh --paquet) : essai sauté." >&2
  exit 77
fi
dpkg -i "$paquet" >/dev/null
trap 'dpkg -r navette >/dev/null 2>&1 || true' EXIT
/usr/bin/navette --help | head -1
/usr/bin/navette-modem --help >/dev/null
id navette | grep -q '(dialout)' || { echo "L'utilisateur navette n'est pas dans dialout." >&2; exit 1; }
for f in /lib/systemd/system/navette@.service /usr/share/man/fr/man1/navette.1.gz \
         /usr/share/applications/navette.desktop /usr/share/doc/navette/README.md; do
  [ -e "$f" ] || { echo "Manque après installation : $f" >&2; exit 1; }
done
systemd-analyze verify /lib/systemd/system/navette@.service 2>&1 | grep -v "man navette" || true
bash "$racine/tests/service_confine.sh"
dpkg -r navette >/dev/null
trap - EXIT
for f in /usr/bin/navette /usr/bin/navette-modem /lib/systemd/system/navette@.service; do
  [ ! -e "$f" ] || { echo "Reste après retrait : $f" >&2; exit 1; }
done
echo "Paquet installé, essayé et retiré proprement."
