#!/usr/bin/env bash
# Installs what is missing, builds, then shows two stations A and B calling each other through
# the modem emulator and exchanging files. Ctrl-C stops them in order.
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
bash "$racine/tools/installer-dependances.sh"
(cd "$racine" && cmake --preset dev >/dev/null)
cmake --build "$racine/build" --target navette navette-modem
navette="$racine/build/navette"
demo="$racine/demo"

source "$racine/tools/deux-postes.sh"
port=$(ports_libres 7001 2) # for the two emulated modems

rm -rf "$demo"
mkdir -p "$demo/Envois à A" "$demo/Envois à B"
cat >"$demo/navette.INI" <<EOF
; Démonstration : deux postes sur l'émulateur de modems (voir README.md).
[Defaut]
Connexion à=A

EOF
ecrire_ini "$demo/navette.INI" 38400 TCP1: TCP2: "127.0.0.1:$port" "127.0.0.1:$((port + 1))"
# Paired, as sites should be: each section pins the other's key (made here, in demo/Clés), so
# the link is sealed and each window shows the other's fingerprint.
appairer "$navette" "$demo"

options=(--dossier "$demo")
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  sansEcran=1
  export QT_QPA_PLATFORM=offscreen
  options+=(--echo)
  echo "Pas d'écran : les deux fenêtres tournent hors écran, leurs lignes s'affichent ici."
else
  sansEcran=0
fi

pids=()
arreter() {
  trap - INT TERM
  echo
  echo "Arrêt des postes A et B, puis de l'émulateur..."
  for pid in "${pids[@]:1}"; do kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  kill -TERM "${pids[0]}" 2>/dev/null || true
  wait "${pids[0]}" 2>/dev/null || true
  if [ "$sansEcran" = 1 ]; then
    if [ -f "$demo/fenetre-A.png" ]; then
      echo "Captures des deux fenêtres : $demo/fenetre-A.png et $demo/fenetre-B.png"
    else
      echo "Les transferts n'étaient pas finis : pas de captures."
    fi
  fi
  echo "Dossier de la démonstration : $demo"
  exit 0
}
trap arreter INT TERM

"$racine/build/navette-modem" --port "$port" >"$demo/navette-modem.log" 2>&1 &
pids+=($!)
sleep 0.5
for poste in B A; do
  if [ "$sansEcran" = 1 ]; then
    "$navette" "${options[@]}" --capture "$demo/capture-$poste.png" "$poste" &
  else
    "$navette" "${options[@]}" "$poste" &
  fi
  pids+=($!)
  sleep 1
done

# Samples: a short note and a monthly statement of several parts from A, an answer from B.
printf 'Bonjour B, voici le relevé de mars.\r\n' >"$demo/Envois à A/bonjour.txt"
{
  printf 'date;site;produit;quantite;montant\r\n'
  for i in $(seq 1 1200); do
    printf '%02d/03/2026;S%d;P%05d;%d;%d,%02d\r\n' $((i % 28 + 1)) $((100 + i % 7)) $((i * 37 % 2000)) $((i * 13 % 500 + 1)) $((i * 7919 % 100000)) $((i % 100))
  done
} >"$demo/Envois à A/releve-mars.csv"
printf 'Bien reçu, merci A.\r\n' >"$demo/Envois à B/reponse.txt"

echo "Deux postes : A appelle le 2 sur TCP1:, B répond sur TCP2: (émulateur sur les ports $port et $((port + 1)))."
echo "Fichiers déposés : bonjour.txt et releve-mars.csv chez A, reponse.txt chez B. Ctrl-C pour arrêter."

# Once everything has crossed, keep the windows' pictures of that moment.
while true; do
  if [ "$sansEcran" = 1 ] && [ ! -f "$demo/fenetre-A.png" ] \
     && [ -f "$demo/Recus de B/RELEVE-MARS.CSV" ] && [ -f "$demo/Recus de B/BONJOUR.TXT" ] \
     && [ -f "$demo/Recus de A/REPONSE.TXT" ]; then
    sleep 2
    cp "$demo/capture-A.png" "$demo/fenetre-A.png"
    cp "$demo/capture-B.png" "$demo/fenetre-B.png"
    echo "Tout est passé. Captures : $demo/fenetre-A.png et $demo/fenetre-B.png (Ctrl-C pour arrêter)."
  fi
  sleep 1
done
