#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer, UBSan) and runs each for the given
# number of seconds (30 by default) on a working copy of its seed corpus, with the line
# keywords as dictionary. A long run: bash tools/fuzz.sh 3600
set -euo pipefail
racine="$(cd "$(dirname "$0")/.." && pwd)"
secondes="${1:-30}"
bash "$racine/tools/installer-dependances.sh" >/dev/null
cd "$racine"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
travail="$racine/build-fuzz/corpus"
for cible in reception ini archive modem; do
  mkdir -p "$travail/$cible"
  cp -n "$racine/fuzz/corpus/$cible/"* "$travail/$cible/" 2>/dev/null || true
  journal="$travail/$cible.log"
  if ! "$racine/build-fuzz/fuzz/fuzz_$cible" -max_total_time="$secondes" -dict="$racine/fuzz/lignes.dict" \
       -print_final_stats=1 -rss_limit_mb=2048 -timeout=20 -artifact_prefix="$travail/$cible-" "$travail/$cible" \
       >"$journal" 2>&1; then
    echo "fuzz_$cible : défaut trouvé (voir $journal)" >&2
    tail -40 "$journal" >&2
    exit 1
  fi
  executions=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$journal" | grep -o '[0-9]*$')
  couverture=$(grep -oE 'cov: [0-9]+' "$journal" | tail -1 | grep -oE '[0-9]+')
  echo "fuzz_$cible : $executions exécutions en $secondes s, couverture $couverture arêtes, corpus $(ls "$travail/$cible" | wc -l) entrées"
done
