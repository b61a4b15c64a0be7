#!/usr/bin/env bash
# Two real windowless stations calling each other through navette-modem, paired as the
# README says: each prints its key with --cle, each section gets the other's CleDistante line.
# They authenticate each other, and a file crosses each way intact.
# Usage: chiffre_reel.sh NAVETTE NAVETTE_MODEM
set -euo pipefail
navette=$1
modem=$2
source "$(dirname "$0")/../tools/deux-postes.sh"
dossier_d_essai
port=$(ports_libres 7701 2)
"$modem" --port "$port" --vitesse 115200 >"$d/modem.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do port_libre $((port + 1)) || break; sleep 0.1; done
ecrire_ini "$d/navette.INI" 115200 TCP1: TCP2: "127.0.0.1:$port" "127.0.0.1:$((port + 1))"

# The README's pairing: one command on each station, one line in the other's section.
appairer "$navette" "$d"
if grep -rq "$(head -2 "$d/Clés/Port%20A.cle" | tail -1)" "$d/navette.INI"; then
  echo "La clé privée de A est dans navette.INI." >&2; exit 1
fi

for p in A B; do
  QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$d" "$p" >"$d/$p.log" 2>&1 &
  pids+=($!)
done
echec() { echo "$1" >&2; tail -n 25 "$d/A.log" "$d/B.log" "$d/modem.log" >&2; exit 1; }
chiffres() { grep -q "Liaison chiffrée avec le poste distant (empreinte" "$d/A.log" && grep -q "Liaison chiffrée avec le poste distant (empreinte" "$d/B.log"; }
for _ in $(seq 600); do chiffres && break; sleep 0.1; done
chiffres || echec "Les deux postes ne se sont pas authentifiés en 60 s."

for p in A B; do
  printf 'Relevé confidentiel de %s;%s\r\n' "$p" "$(head -c 3000 /dev/urandom | base64 -w0)" >"$d/$p.txt"
  cp "$d/$p.txt" "$d/Envois à $p/.tmp"
  mv "$d/Envois à $p/.tmp" "$d/Envois à $p/de$p.txt"
done
arrives() {
  [ -n "$(find "$d/Recus de A" -iname 'deB.txt' 2>/dev/null)" ] && [ -n "$(find "$d/Recus de B" -iname 'deA.txt' 2>/dev/null)" ]
}
for _ in $(seq 900); do arrives && break; sleep 0.1; done
for p in A B; do
  autre=$([ $p = A ] && echo B || echo A)
  recu=$(find "$d/Recus de $autre" -iname "de$p.txt" -print -quit)
  [ -n "$recu" ] || echec "Le fichier de $p n'est pas arrivé chez $autre."
  cmp -s "$recu" "$d/$p.txt" || echec "Le fichier de $p est arrivé altéré chez $autre."
done
echo "Authentifiés, et un fichier passé chiffré dans chaque sens."
