#!/usr/bin/env bash
# The disk as sites have it, with real processes, as root:
# 1. `navette --cle` run by root in a folder its service user owns, where that user planted
#    links: it refuses, and root's folder keeps its owner and mode.
# 2. A receiving station under a file-size limit, then with its incoming folder on a small
#    tmpfs out of room: the sender keeps its file, nothing cut is stored; the limit lifted or
#    room made, the file arrives whole.
# 3. Both stations' folders on a FUSE file system that refuses the rename without replacing
#    (and one that refuses links too, for a key): files and parts stored, nothing replaced.
# Usage: disque_reel.sh NAVETTE NAVETTE_MODEM [PARTAGE_FUSE]
set -euo pipefail
navette=$1
modem=$2
fuse=${3:-}
if [ "$(id -u)" -ne 0 ]; then
  echo "Ignoré : il faut être root (liens plantés face à root, tmpfs, FUSE)."
  exit 77
fi
source "$(dirname "$0")/../tools/deux-postes.sh"
dossier_d_essai
montages=()
demonter() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pids=()
  for m in "${montages[@]}"; do umount -l "$m" 2>/dev/null || fusermount3 -uz "$m" 2>/dev/null || true; done
  montages=()
}
trap 'demonter; arreter_essai' EXIT
chmod 755 "$d"
echec() {
  echo "$1" >&2
  for f in "$d"/*.log "$d"/*/*.log; do [ -f "$f" ] && { echo "== $f" >&2; tail -n 20 "$f" >&2; }; done
  exit 1
}
attendre() { # attendre SECONDES COMMANDE...
  local n=$(($1 * 10)); shift
  for _ in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}

# --- 1. Root and a planted link ----------------------------------------------------------
service=65534
conf="$d/service" cible="$d/racine"
mkdir -p "$conf" "$cible"
echo "root:x:0:0" >"$cible/passwd"
chmod 755 "$cible"; chmod 644 "$cible/passwd"
chown "$service:$service" "$conf"
en_service() { setpriv --reuid=$service --regid=$service --clear-groups "$@"; }
intacte() {
  [ "$(stat -c '%u %a' "$cible")" = "0 755" ] && [ "$(stat -c '%u %a' "$cible/passwd")" = "0 644" ] \
    && [ "$(ls -A "$cible")" = passwd ] && [ "$(cat "$cible/passwd")" = "root:x:0:0" ]
}
for lien in "Clés" "Clés/Port%20A.cle"; do
  rm -rf "$conf/Clés"
  [ "$lien" = "Clés" ] || { en_service mkdir -m 700 "$conf/Clés"; }
  en_service ln -s "$([ "$lien" = "Clés" ] && echo "$cible" || echo "$cible/passwd")" "$conf/$lien"
  if "$navette" --cle A --dossier "$conf" >"$d/cle.out" 2>"$d/cle.err"; then
    echec "navette --cle a suivi le lien planté à la place de $lien."
  fi
  grep -q "lien symbolique" "$d/cle.err" || echec "Refus sans son message : $(cat "$d/cle.err")"
  intacte || echec "Le dossier de root a changé derrière le lien $lien : $(stat -c '%U %a' "$cible" "$cible/passwd")"
done
rm -rf "$conf/Clés"
"$navette" --cle A --dossier "$conf" >"$d/cle.out" 2>"$d/cle.err" || echec "Sans lien, la clé n'est pas faite : $(cat "$d/cle.err")"
[ "$(stat -c '%u %a' "$conf/Clés/Port%20A.cle")" = "$service 600" ] || echec "La clé n'est pas à l'utilisateur du service, en 600."
echo "Root et les liens plantés : refusés, le dossier de root intact, la clé au service sans lien."

# --- 2. A file-size limit, then a full small tmpfs ---------------------------------------
demarrer() { # demarrer DOSSIER [préfixe de commande pour B]
  local dossier=$1; shift
  port=$(ports_libres 7801 2)
  "$modem" --direct --port "$port" --vitesse 115200 >"$dossier/cable.log" 2>&1 &
  pids+=($!)
  attendre 5 bash -c "! (exec 3<>/dev/tcp/127.0.0.1/$((port + 1))) 2>/dev/null" || true
  sleep 0.3
  ecrire_ini_cable "$dossier/navette.INI" "127.0.0.1:$port" "127.0.0.1:$((port + 1))"
  sed -i '/^\[Port B\]/a EspaceLibreMin=0' "$dossier/navette.INI"
  QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$dossier" A >"$dossier/A.log" 2>&1 &
  pids+=($!)
  # Ignored before exec, SIGXFSZ stays ignored: the write fails with EFBIG instead.
  (trap '' XFSZ; exec "$@" env QT_QPA_PLATFORM=offscreen "$navette" --sans-fenetre --dossier "$dossier" B >"$dossier/B.log" 2>&1) &
  pidB=$!
  pids+=($pidB)
  attendre 60 bash -c "grep -q 'Titre : A : Connecté' '$dossier/A.log' && grep -q 'Titre : B : Connecté' '$dossier/B.log'" \
    || echec "Les deux postes ne se sont pas reliés en 60 s."
}
deposer() { # deposer DOSSIER NOM OCTETS: a random file in A's outgoing folder, kept aside too
  head -c "$3" /dev/urandom >"$1/$2.orig"
  cp "$1/$2.orig" "$1/Envois à A/.tmp" && mv "$1/Envois à A/.tmp" "$1/Envois à A/$2"
}
arrive() { # arrive DOSSIER NOM: stored whole under its name
  local recu
  recu=$(find "$1/Recus de B" -maxdepth 1 -iname "$2" -print -quit 2>/dev/null)
  [ -n "$recu" ] && cmp -s "$recu" "$1/$2.orig"
}
rien_de_coupe() { # rien_de_coupe DOSSIER NOM [DÉJÀ_RANGÉ]: nothing new in B's incoming folder, the sender's copy kept
  local f
  for f in "$1/Recus de B"/* "$1/Recus de B"/.[!.]*; do
    [ -e "$f" ] || continue
    case "$(basename "$f")" in BOUCHE* | "${3:-/}") continue ;; esac
    echec "Quelque chose est rangé pendant la panne : $f ($(stat -c %s "$f") octets)"
  done
  [ -f "$1/Envois à A/$2" ] || echec "L'envoyeur n'a plus son fichier $2 alors que rien n'est rangé."
}
d2="$d/limites"
mkdir -p "$d2/Recus de B"
mount -t tmpfs -o size=4m,nr_inodes=64 navette-essai "$d2/Recus de B"
montages+=("$d2/Recus de B")
demarrer "$d2" prlimit --fsize=100000:unlimited
deposer "$d2" gros.bin 300000
attendre 90 grep -q "Fichier trop grand" "$d2/B.log" || echec "La limite de taille n'a pas été dite."
rien_de_coupe "$d2" gros.bin
prlimit --pid "$pidB" --fsize=unlimited:unlimited
attendre 180 arrive "$d2" gros.bin || echec "Limite levée, le fichier n'est pas arrivé entier."
echo "Limite de taille : rien de coupé, le fichier gardé par l'envoyeur, arrivé entier une fois la limite levée."
# Out of inodes, the tmpfs refuses any new file while its free space still looks ample: a
# full disk that the free-space check does not see, as a quota is.
i=0
while touch "$d2/Recus de B/BOUCHE$i" 2>/dev/null; do i=$((i + 1)); done
deposer "$d2" petit.bin 5000
attendre 90 grep -q "Disque plein" "$d2/B.log" || echec "Le disque plein n'a pas été dit."
rien_de_coupe "$d2" petit.bin GROS.BIN
rm "$d2/Recus de B/BOUCHE0"
attendre 180 arrive "$d2" petit.bin || echec "De la place faite, le fichier n'est pas arrivé entier."
echo "Disque plein (tmpfs sans inode libre) : rien de rangé, le fichier arrivé entier une fois la place faite."
demonter

# --- 3. FUSE without the rename that never replaces --------------------------------------
if [ -z "$fuse" ] || [ ! -e /dev/fuse ]; then
  echo "FUSE ignoré : $([ -e /dev/fuse ] && echo "outil partage_fuse non construit (paquet libfuse3-dev)" || echo "pas de /dev/fuse sur cette machine")."
  exit 0
fi
monter() { # monter DESSOUS POINT [--sans-liens]
  mkdir -p "$1" "$2"
  "$fuse" "$@" || echec "Montage FUSE impossible sur $2."
  montages+=("$2")
}
d3="$d/partage"
monter "$d/dessous" "$d3"
mkdir -p "$d3/Recus de B"
echo "déjà là" >"$d3/Recus de B/DEJA.BIN"
demarrer "$d3"
deposer "$d3" gros.bin 200000
cp "$d3/gros.bin.orig" "$d3/deja.bin.orig"
deposer "$d3" deja.bin 3000
attendre 120 arrive "$d3" gros.bin || echec "Sur FUSE, le gros fichier n'est pas arrivé entier."
attendre 60 bash -c "[ \$(ls '$d3/Recus de B' | wc -l) -ge 3 ]" || echec "Sur FUSE, le second fichier n'est pas arrivé."
[ "$(cat "$d3/Recus de B/DEJA.BIN")" = "déjà là" ] || echec "Sur FUSE, un fichier reçu en a remplacé un autre."
grep -q "par un lien, aussi sûr" "$d3/B.log" || echec "Le repli par un lien n'a pas été dit."
[ -z "$(grep "Informations : .*ne sait pas renommer sans remplacer" "$d3/B.log" | sed 's/.*Le disque de //' | sort | uniq -d)" ] \
  || echec "Le repli est dit plus d'une fois pour un même dossier."
monter "$d/dessous-sans-liens" "$d/sans-liens" --sans-liens
"$navette" --cle C --dossier "$d/sans-liens" >"$d/cle.out" 2>"$d/cle.err" || echec "Sans renommage ni liens, la clé n'est pas faite : $(cat "$d/cle.err")"
[ -s "$d/sans-liens/Clés/Port%20C.cle" ] || echec "Sans renommage ni liens, la clé n'est pas à sa place."
echo "FUSE sans renommage exclusif : fichiers, parties et clés rangés par un lien (ou après vérification), rien remplacé."
