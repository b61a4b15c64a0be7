#!/usr/bin/env bash
# Two real windowless stations on the emulator's null-modem cable, each set with nothing but
# its port and NumTelAppel=DIRECT, started at the same instant: they link by themselves, and a
# random 256 KiB file crosses each way intact.
# Usage: cable_direct_reel.sh NAVETTE NAVETTE_MODEM
set -euo pipefail
navette=$1
modem=$2
source "$(dirname "$0")/../tools/deux-postes.sh"
dossier_d_essai
port=$(ports_libres 7601 2)
"$modem" --direct --port "$port" --vitesse 115200 >"$d/cable.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do port_libre $((port + 1)) || break; sleep 0.1; done

ecrire_ini_cable "$d/navette.INI" "127.0.0.1:$port" "127.0.0.1:$((port + 1))"
debut=$(date +%s.%N)
for p in A B; do
  QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$d" "$p" >"$d/$p.log" 2>&1 &
  pids+=($!)
done

echec() { echo "$1" >&2; tail -n 25 "$d/A.log" "$d/B.log" "$d/cable.log" >&2; exit 1; }
lies() { grep -q "Titre : A : Connecté" "$d/A.log" && grep -q "Titre : B : Connecté" "$d/B.log"; }
for _ in $(seq 300); do lies && break; sleep 0.1; done
lies || echec "Les deux postes ne se sont pas reliés par le câble en 30 s."
printf 'Reliés en %.1f s.\n' "$(echo "$(date +%s.%N) - $debut" | bc)"
# One end may be linked by the other's test while it still ends its own modem script.
sansModem() { grep -q "Pas de modem sur la ligne : câble direct" "$d/A.log" && grep -q "Pas de modem sur la ligne : câble direct" "$d/B.log"; }
for _ in $(seq 100); do sansModem && break; sleep 0.1; done
sansModem || echec "Un poste n'a pas dit qu'il n'y a pas de modem."

depot=$(date +%s.%N)
for p in A B; do
  head -c 262144 /dev/urandom >"$d/$p.bin"
  cp "$d/$p.bin" "$d/Envois à $p/.tmp"
  mv "$d/Envois à $p/.tmp" "$d/Envois à $p/de$p.bin"
done
arrives() {
  [ -n "$(find "$d/Recus de A" -iname 'deB.bin' 2>/dev/null)" ] && [ -n "$(find "$d/Recus de B" -iname 'deA.bin' 2>/dev/null)" ]
}
for _ in $(seq 1200); do arrives && break; sleep 0.1; done
for p in A B; do
  autre=$([ $p = A ] && echo B || echo A)
  recu=$(find "$d/Recus de $autre" -iname "de$p.bin" -print -quit)
  [ -n "$recu" ] || echec "Le fichier de $p n'est pas arrivé chez $autre."
  cmp -s "$recu" "$d/$p.bin" || echec "Le fichier de $p est arrivé altéré chez $autre."
done
printf '256 Kio aléatoires passés intacts dans chaque sens sur le câble en %.1f s.\n' "$(echo "$(date +%s.%N) - $depot" | bc)"
