#!/usr/bin/env bash
# The application workloads through unixODBC with both libraries beside the
# same workloads written over pgjdbc alone, against a throwaway PostgreSQL:
# items per second of each, the driver's time as a multiple of pgjdbc's, and
# the peak RSS of the process while it fetched.  Not run by CI.
#   bash scripts/bench_workloads.sh [build dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bdir=${1:-$here/build-bench}
rows=${KRS_BENCH_ROWS:-1000000}

if [ ! -f /usr/include/benchmark/benchmark.h ]; then
  if [ "$(id -u)" = 0 ]; then
    apt-get install -y libbenchmark-dev >/dev/null
  else
    echo "bench_workloads.sh: libbenchmark-dev is not installed" >&2
    exit 1
  fi
fi
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$here" -B "$bdir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRS_BUILD_BENCH=ON -DKRS_BUILD_TESTS=OFF >/dev/null
cmake --build "$bdir" -j "$jobs" --target bench_workloads >/dev/null
javac -d "$bdir/bench" "$here/bench/JdbcWorkloads.java"
jar=/usr/share/java/postgresql.jar

state="$bdir/pgstate-workloads"
fixture="$here/tests/pg/pg_fixture.sh"
trap 'bash "$fixture" stop "$state" || true' EXIT
bash "$fixture" start "$state" "$bdir/lib" >/dev/null
# shellcheck disable=SC1091
. "$state/env.sh"
# shellcheck disable=SC1091
. "$state/pg.env"
"$KRS_PG_BIN/psql" -q -h 127.0.0.1 -p "$KRS_PG_PORT" -U "$KRS_PG_TRUST_USER" -d "$KRS_PG_DB" -v ON_ERROR_STOP=1 -c \
  "create table bench_src (id int4, name text, amount numeric(12,2), created timestamp);
   insert into bench_src select g, 'name ' || g, (g % 100000) / 7.0, timestamp '2024-01-01' + g * interval '1 second'
     from generate_series(1, $rows) g;
   analyze bench_src"

out="$bdir/workloads"
mkdir -p "$out"
java -cp "$jar:$bdir/bench" JdbcWorkloads "jdbc:postgresql://127.0.0.1:$KRS_PG_PORT/$KRS_PG_DB" \
  "$KRS_PG_TRUST_USER" bench_src > "$out/jdbc.txt"
for lib in w a; do
  "$bdir/bench/bench_workloads" "krs_$lib" bench_src > "$out/odbc_$lib.txt"
done

echo "rows fetched: $rows; items per second (driver time as a multiple of pgjdbc's)"
printf '%-10s %14s %22s %22s\n' workload pgjdbc quorvexw quorvexa
for w in fetch getdata insert array connect; do
  j=$(awk -v w=$w '$1 == w {print $2, $3}' "$out/jdbc.txt")
  line=$(printf '%-10s %14s' "$w" "${j#* }")
  for lib in w a; do
    o=$(awk -v w=$w '$1 == w {print $2, $3}' "$out/odbc_$lib.txt")
    ratio=$(awk -v a="${o% *}" -v b="${j% *}" 'BEGIN { printf "%.2f", a / b }')
    line+=$(printf ' %14s (%5sx)' "${o#* }" "$ratio")
  done
  echo "$line"
done
echo "peak RSS while fetching, pgjdbc: $(awk '$1 == "peak_rss_kb" {print $2}' "$out/jdbc.txt") kB"
for lib in w a; do
  echo "peak RSS while fetching, quorvex$lib: $(awk '$1 == "peak_rss_kb" {print $2}' "$out/odbc_$lib.txt") kB"
done
