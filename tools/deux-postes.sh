# Shared by the scripts that run two stations A (calling 2) and B on one machine; sourced.

# True when nothing listens on that loopback port.
port_libre() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# The first of N free loopback ports in a row, from $1 up.
ports_libres() {
  local p=$1 n=$2 k
  while :; do
    for ((k = 0; k < n; k++)); do port_libre $((p + k)) || break; done
    [ "$k" -eq "$n" ] && { echo "$p"; return; }
    p=$((p + 10))
  done
}

# navette.INI for A and B: ecrire_ini FICHIER BAUDS NOM_A NOM_B DESTINATION_A DESTINATION_B
ecrire_ini() {
  cat >>"$1" <<INI
[Port A]
NumPort=$3
ParametresPort=$2, n, 8, 1
PosteAppellant=-1
NumTelAppel=2

[Port B]
NumPort=$4
ParametresPort=$2, n, 8, 1
PosteAppellant=0

[Ports]
$3=$5
$4=$6
INI
}

# navette.INI for A and B on a bare cable, set with nothing but their port and DIRECT:
# ecrire_ini_cable FICHIER DESTINATION_A DESTINATION_B
ecrire_ini_cable() {
  cat >"$1" <<INI
[Port A]
NumPort=TCP1:
ParametresPort=115200, n, 8, 1
NumTelAppel=DIRECT

[Port B]
NumPort=TCP2:
ParametresPort=115200, n, 8, 1
NumTelAppel=DIRECT

[Ports]
TCP1:=$2
TCP2:=$3
INI
}

# Pairs A and B as the README says: each prints its key with --cle (made when missing), and
# its CleDistante line goes into the other's section. appairer NAVETTE DOSSIER
appairer() {
  local cleA cleB
  cleA=$("$1" --cle A --dossier "$2" | grep '^CleDistante=')
  cleB=$("$1" --cle B --dossier "$2" | grep '^CleDistante=')
  sed -i -e "/^\[Port A\]/a $cleB" -e "/^\[Port B\]/a $cleA" "$2/navette.INI"
}

# A scratch folder $d and the background processes listed in pids: stopped, and the folder
# removed, when the script ends.
dossier_d_essai() {
  d=$(mktemp -d)
  pids=()
  trap arreter_essai EXIT
}
arreter_essai() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$d"
}
