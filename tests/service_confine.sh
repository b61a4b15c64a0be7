#!/usr/bin/env bash
# The installed package's station run as its service unit runs it: user navette in dialout,
# CAP_SYS_TIME alone, no new privileges, its own /tmp, its socket in /run/navette. Two such
# stations exchange a file over the modem emulator; `navette --etat` reaches them from outside.
set -euo pipefail
unite=/lib/systemd/system/navette@.service
for ligne in Type=notify WatchdogSec=60 StartLimitIntervalSec=0 \
             User=navette SupplementaryGroups=dialout AmbientCapabilities=CAP_SYS_TIME \
             CapabilityBoundingSet=CAP_SYS_TIME NoNewPrivileges=yes ProtectSystem=strict PrivateTmp=yes \
             StateDirectory=navette RuntimeDirectory=navette; do
  grep -qx "$ligne" "$unite" || { echo "Unité : « $ligne » manque." >&2; exit 1; }
done
score=$(systemd-analyze security --offline=true --no-pager "$unite" 2>/dev/null | sed -n 's/.*exposure level for [^:]*: \([0-9.]*\).*/\1/p')
echo "systemd-analyze security : exposition $score"
awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 3.0) }' || { echo "Exposition trop forte : $score" >&2; exit 1; }

etat=$(mktemp -d /var/tmp/navette-service.XXXXXX)
prive=$(mktemp -d)
pids=()
finir() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  pkill -KILL -f -- "--dossier $etat" 2>/dev/null || true
  rm -rf "$etat" "$prive"
}
trap finir EXIT
chown navette:navette "$etat" && chmod 2750 "$etat"
chown navette:navette "$prive" && chmod 700 "$prive"
install -d -o navette -g navette -m 0750 /run/navette

source "$(dirname "$0")/../tools/deux-postes.sh"
port=$(ports_libres 7401 2)
ecrire_ini "$etat/navette.INI" 115200 TCP1: TCP2: "127.0.0.1:$port" "127.0.0.1:$((port + 1))"
chown navette:navette "$etat/navette.INI"
/usr/bin/navette-modem --port "$port" --vitesse 115200 >"$prive/modem.log" 2>&1 &
pids+=($!)
sleep 0.5
confine() {
  umask 0027
  exec setpriv --reuid=navette --regid=navette --init-groups --inh-caps=-all,+sys_time --ambient-caps=-all,+sys_time \
          --bounding-set=-all,+sys_time --no-new-privs \
          env -i RUNTIME_DIRECTORY=/run/navette TMPDIR="$prive" QT_ENABLE_REGEXP_JIT=0 \
          /usr/bin/navette --sans-fenetre --dossier "$etat" "$1"
}
confine B >"$prive/B.log" 2>&1 &
pids+=($!)
sleep 1
confine A >"$prive/A.log" 2>&1 &
pids+=($!)

head -c 20000 /dev/urandom >"$prive/essai.bin"
for _ in $(seq 100); do [ -d "$etat/Envois à B" ] && break; sleep 0.1; done
install -o navette -g navette -m 0660 "$prive/essai.bin" "$etat/Envois à B/essai.bin.tmp"
mv "$etat/Envois à B/essai.bin.tmp" "$etat/Envois à B/essai.bin"
recu=
for _ in $(seq 600); do
  recu=$(find "$etat" -path "$etat/Recus de A/*" -iname 'essai*' -print -quit)
  [ -n "$recu" ] && break
  sleep 0.1
done
[ -n "$recu" ] && cmp -s "$recu" "$prive/essai.bin" || {
  echo "Le fichier n'est pas passé entre les postes confinés." >&2; tail -n 20 "$prive/A.log" "$prive/B.log" >&2; exit 1; }
echo "Fichier passé entre deux postes confinés : $recu"
# The group drops and takes files, and may touch nothing else of the station.
for d in "Envois à A" "Recus de A"; do
  [ "$(stat -c %a "$etat/$d")" = 2770 ] || { echo "« $d » : mode $(stat -c %a "$etat/$d"), 2770 attendu." >&2; exit 1; }
done
for d in "$etat" "$etat/Travail" "$etat/journal"; do
  [ $(( 0$(stat -c %a "$d") & 020 )) -eq 0 ] || { echo "« $d » est modifiable par le groupe." >&2; exit 1; }
done
echo "Groupe navette : dossiers d'envoi et de réception seulement."
# Its key from its first start: the service user's alone.
cle="$etat/Clés/Port%20A.cle"
[ "$(stat -c '%U %a' "$cle" 2>/dev/null)" = "navette 600" ] || { echo "Clé du poste A : $(stat -c '%U %a' "$cle" 2>&1), navette 600 attendu." >&2; exit 1; }
[ "$(stat -c '%a' "$etat/Clés")" = 700 ] || { echo "Dossier des clés : mode $(stat -c %a "$etat/Clés"), 700 attendu." >&2; exit 1; }
echo "Poste A : sa clé dès le premier démarrage, à lui seul."

pid=$(pgrep -u navette -f -- "--dossier $etat A" | head -1)
statut=/proc/$pid/status
grep -q "^Uid:[[:space:]]*$(id -u navette)[[:space:]]" "$statut"
grep -q "^Groups:.*\b$(getent group dialout | cut -d: -f3)\b" "$statut"
for champ in CapEff CapPrm CapAmb CapBnd; do
  grep -q "^$champ:[[:space:]]*0000000002000000$" "$statut" || { echo "$champ : $(grep "^$champ" "$statut")" >&2; exit 1; }
done
grep -q "^NoNewPrivs:[[:space:]]*1" "$statut"
echo "Poste A : utilisateur navette, groupe dialout, CAP_SYS_TIME seule, sans nouveaux privilèges."
ligne=$(env -u TMPDIR -u RUNTIME_DIRECTORY /usr/bin/navette --etat TCP1:) || { echo "--etat ne trouve pas le service." >&2; exit 1; }
echo "$ligne"
grep -q "dernière réception : ESSAI.BIN" <<<"$ligne" || { echo "--etat a répondu pour une autre instance." >&2; exit 1; }

# Stopped as systemd stops it: SIGTERM, then the station hangs up, saves and exits 0.
for pid in "${pids[@]:1}"; do
  kill -TERM "$pid"
  wait "$pid" || { echo "Le poste confiné ne s'est pas arrêté proprement (code $?)." >&2; exit 1; }
done
pids=("${pids[0]}")
grep -q "Connexion à\|\[Port A\]" "$etat/navette.INI"
echo "Postes confinés arrêtés proprement par SIGTERM."
