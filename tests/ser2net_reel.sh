#!/usr/bin/env bash
# Two stations on a serial device server, for real: each opens rfc2217:// on Debian's ser2net,
# whose serial port is a pseudo-terminal led by socat to a modem of navette-modem. A random
# 256 KiB file crosses each way intact; then A's side of the line goes (the server closes its
# serial port, as it drops DTR on a real one) and the call ends at B.
# Usage: ser2net_reel.sh NAVETTE NAVETTE_MODEM
set -euo pipefail
navette=$1
modem=$2
for outil in ser2net socat; do
  command -v "$outil" >/dev/null || { echo "$outil n'est pas installé (apt-get install $outil) : test sauté." >&2; exit 77; }
done
d=$(mktemp -d)
pids=()
finir() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  pkill -TERM -f "link=$d/" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$d"
}
trap finir EXIT

source "$(dirname "$0")/../tools/deux-postes.sh"
port=$(ports_libres 7501 4) # two modems, then the server's two ports
"$modem" --port "$port" --vitesse 115200 >"$d/modem.log" 2>&1 &
pids+=($!)
# One pseudo-terminal per modem, made again each time the server closes it.
for k in 1 2; do
  (while [ -d "$d" ]; do
     socat PTY,link="$d/tty$k",raw,echo=0,wait-slave TCP:127.0.0.1:$((port + k - 1)) 2>>"$d/socat.log" || true
     sleep 0.2
   done) &
  pids+=($!)
done
cat >"$d/ser2net.yaml" <<YAML
connection: &a
  accepter: telnet(rfc2217),tcp,127.0.0.1,$((port + 2))
  connector: serialdev,$d/tty1,9600n81,local
connection: &b
  accepter: telnet(rfc2217),tcp,127.0.0.1,$((port + 3))
  connector: serialdev,$d/tty2,9600n81,local
YAML
for _ in $(seq 50); do [ -e "$d/tty1" ] && [ -e "$d/tty2" ] && break; sleep 0.1; done
ser2net -n -d -c "$d/ser2net.yaml" >"$d/ser2net.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do port_libre $((port + 3)) || break; sleep 0.1; done

ecrire_ini "$d/navette.INI" 115200 COM1: COM2: "rfc2217://127.0.0.1:$((port + 2))" "rfc2217://127.0.0.1:$((port + 3))"
QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$d" B >"$d/B.log" 2>&1 &
pids+=($!)
sleep 1
QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$d" A >"$d/A.log" 2>&1 &
pidA=$!
pids+=($pidA)

echec() { echo "$1" >&2; tail -n 15 "$d/A.log" "$d/B.log" "$d/ser2net.log" >&2; exit 1; }
for _ in $(seq 300); do grep -q "Connexion vérifiée" "$d/B.log" && break; sleep 0.1; done
grep -q "Connexion vérifiée" "$d/B.log" || echec "Les postes ne se sont pas connectés au travers de ser2net."
# The server set its serial port as the station asked, not as its own file says (9600).
vitesse=$(stty -F "$d/tty1" speed)
[ "$vitesse" = 115200 ] || echec "ser2net n'a pas pris la vitesse demandée : $vitesse."
for p in A B; do
  head -c 262144 /dev/urandom >"$d/$p.bin"
  autre=$([ $p = A ] && echo B || echo A)
  mkdir -p "$d/Envois à $autre"
  cp "$d/$p.bin" "$d/Envois à $autre/.tmp-$p"
  mv "$d/Envois à $autre/.tmp-$p" "$d/Envois à $autre/de$p.bin"
done
for _ in $(seq 1800); do
  [ -n "$(find "$d/Recus de A" "$d/Recus de B" -iname 'de*.bin' 2>/dev/null | wc -l | grep -x 2)" ] && break
  sleep 0.1
done
for p in A B; do
  recu=$(find "$d" -path "*/Recus de $p/*" -iname 'de*.bin' -print -quit)
  [ -n "$recu" ] || echec "Le fichier de $p n'est pas arrivé."
  cmp -s "$recu" "$d/$p.bin" || echec "Le fichier de $p est arrivé altéré."
done
echo "256 Kio aléatoires passés intacts dans les deux sens au travers de ser2net (RFC 2217)."

avant=$(wc -l <"$d/B.log")
kill -KILL "$pidA"
wait "$pidA" 2>/dev/null || true
for _ in $(seq 150); do tail -n +"$avant" "$d/B.log" | grep -q "Pas de porteuse" && break; sleep 0.1; done
tail -n +"$avant" "$d/B.log" | grep -q "Pas de porteuse" || echec "La chute de la ligne de A n'a pas fini l'appel chez B."
echo "Ligne de A coupée : l'appel a pris fin chez B."
