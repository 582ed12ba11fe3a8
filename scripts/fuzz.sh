#!/usr/bin/env bash
# Builds the SQL analyser's libFuzzer target with clang into build-fuzz/ (or
# the directory given as $1) and runs it for $2 seconds (default 25) from the
# seed statements, with the SQL dictionary.  Exits non-zero on a finding.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bdir=${1:-$here/build-fuzz}
secs=${2:-25}
jobs=$(nproc 2>/dev/null || echo 2)
CC=clang CXX=clang++ cmake -S "$here" -B "$bdir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKRS_FUZZ=ON -DKRS_BUILD_TESTS=OFF >/dev/null
cmake --build "$bdir" -j "$jobs" --target scr_fuzz >/dev/null
corpus="$bdir/corpus"
mkdir -p "$corpus"
i=0
while IFS= read -r line; do
  i=$((i + 1))
  printf '%s' "$line" > "$corpus/seed$i"
done < "$here/tests/fuzz/seeds.txt"
cd "$bdir"
if ./scr_fuzz -max_total_time="$secs" -max_len=512 -dict="$here/tests/fuzz/sql.dict" \
     -print_final_stats=1 "$corpus" > fuzz.log 2>&1; then
  echo "scr_fuzz: $(grep -m1 'number_of_executed_units' fuzz.log | awk '{print $2}') inputs in ${secs}s, no finding"
else
  tail -40 fuzz.log >&2
  echo "scr_fuzz: FAILED (log: $bdir/fuzz.log)" >&2
  exit 1
fi
