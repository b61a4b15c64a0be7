#!/usr/bin/env bash
# Two real windowless stations on the emulator's cable, paired, with someone between A and the
# cable (relais_attaquant.py) who drops A's file end and answers it in clear: a link test, then
# "OKFICHIER". A keeps its file until B has it, and the file then arrives whole. Then B is
# killed during a sealed send and started again: the two link again within 15 s, on the test
# in clear the restarted B sends, and the file arrives whole.
# Usage: relais_reel.sh NAVETTE NAVETTE_MODEM
set -euo pipefail
command -v python3 >/dev/null || { echo "python3 n'est pas installé (apt-get install python3) : test sauté." >&2; exit 77; }
navette=$1
modem=$2
ici="$(cd "$(dirname "$0")" && pwd)"
source "$ici/../tools/deux-postes.sh"
dossier_d_essai
port=$(ports_libres 7801 3) # the cable's two ends, then the relay
"$modem" --direct --port "$port" --vitesse 115200 >"$d/cable.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do port_libre $((port + 1)) || break; sleep 0.1; done
python3 -u "$ici/relais_attaquant.py" $((port + 2)) "$port" >"$d/relais.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q prêt "$d/relais.log" && break; sleep 0.1; done

ecrire_ini_cable "$d/navette.INI" "127.0.0.1:$((port + 2))" "127.0.0.1:$((port + 1))"
appairer "$navette" "$d"
for p in A B; do
  QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$d" "$p" >"$d/$p.log" 2>&1 &
  pids+=($!)
done

echec() { echo "$1" >&2; tail -n 30 "$d/A.log" "$d/B.log" "$d/relais.log" >&2; exit 1; }
chiffres() { grep -q "Liaison chiffrée avec le poste distant" "$d/A.log" && grep -q "Liaison chiffrée avec le poste distant" "$d/B.log"; }
for _ in $(seq 600); do chiffres && break; sleep 0.1; done
chiffres || echec "Les deux postes ne se sont pas authentifiés en 60 s."

head -c 20000 /dev/urandom >"$d/A.bin"
cp "$d/A.bin" "$d/Envois à A/.tmp"
mv "$d/Envois à A/.tmp" "$d/Envois à A/deA.bin"
recu() { find "$d/Recus de B" -iname 'deA.bin' -print -quit 2>/dev/null; }
for _ in $(seq 1200); do
  # Never gone from A before B has it whole.
  if [ ! -e "$d/Envois à A/deA.bin" ]; then
    [ -n "$(recu)" ] && cmp -s "$(recu)" "$d/A.bin" || echec "A a effacé son fichier sans que B l'ait entier."
    break
  fi
  sleep 0.1
done
grep -q attaque "$d/relais.log" || echec "Le relais n'a pas trouvé la fin de fichier de A."
[ -n "$(recu)" ] || echec "Le fichier de A n'est pas arrivé chez B en 120 s."
[ "$(find "$d/Recus de B" -type f | wc -l)" -eq 1 ] || echec "B a rangé le fichier plus d'une fois."
echo "Fin de fichier remplacée par un « OKFICHIER » en clair : A a gardé son fichier, qui est arrivé entier."

avant=$(grep -c "Liaison chiffrée avec le poste distant" "$d/A.log")
head -c 200000 /dev/urandom >"$d/A2.bin"
cp "$d/A2.bin" "$d/Envois à A/.tmp"
mv "$d/Envois à A/.tmp" "$d/Envois à A/deA2.bin"
for _ in $(seq 300); do grep -q "Emission : " "$d/A.log" && break; sleep 0.1; done
sleep 2
{ kill -KILL "${pids[-1]}" && wait "${pids[-1]}"; } 2>/dev/null || true
QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$d" B >>"$d/B.log" 2>&1 &
pids+=($!)
relance=$(date +%s.%N)
relies() { [ "$(grep -c "Liaison chiffrée avec le poste distant" "$d/A.log")" -gt "$avant" ]; }
for _ in $(seq 300); do relies && break; sleep 0.1; done
relies || echec "A et B redémarré ne se sont pas authentifiés en 30 s."
duree=$(echo "$(date +%s.%N) - $relance" | bc)
[ "$(echo "$duree <= 15" | bc)" -eq 1 ] || echec "A et B redémarré se sont authentifiés en $duree s (15 s au plus)."
recu2() { find "$d/Recus de B" -iname 'deA2.bin' -print -quit 2>/dev/null; }
for _ in $(seq 1200); do [ -n "$(recu2)" ] && break; sleep 0.1; done
[ -n "$(recu2)" ] && cmp -s "$(recu2)" "$d/A2.bin" || echec "Le fichier coupé par le redémarrage de B n'est pas arrivé entier."
printf 'B tué pendant un envoi puis relancé : liaison chiffrée de nouveau en %.1f s, fichier arrivé entier.\n' "$duree"
