#!/usr/bin/env bash
# The application workloads through unixODBC with both libraries beside the
# same workloads written over pgjdbc alone and, when Debian's odbc-postgresql
# is installed, through its native PostgreSQL ODBC driver (psqlodbcw.so),
# against a throwaway PostgreSQL: items per second of each, each driver's
# time as a multiple of pgjdbc's, and the peak RSS of the process while it
# fetched; then the cold first query: a new process that connects, runs
# "select 1", reads its row and ends, timed whole (the Java library
# directory gets the class archive the install step makes; the driver's
# libraries are also timed without it).  Not run by CI.
# The scroll workload (random moves over a table of 50 000 rows in rowsets of
# 10, for each cursor type) is printed in moves per second beside the native
# driver's, where that driver has the cursor type.
# KRS_BENCH_REPEAT=n runs every program n times, taking turns, and prints
# the median of each figure (for a machine with other work on it).
#   bash scripts/bench_workloads.sh [build dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bdir=${1:-$here/build-bench}
rows=${KRS_BENCH_ROWS:-1000000}
reps=${KRS_BENCH_REPEAT:-1}

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
cmake --build "$bdir" -j "$jobs" --target bench_workloads krscds >/dev/null
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
   analyze bench_src;
   create table bench_src_scroll (id int4 primary key, n int4, name varchar(40));
   insert into bench_src_scroll select g, g % 1000, 'scroll row ' || g || ' ' || left(md5(g::text), 20)
     from generate_series(1, 50000) g;
   analyze bench_src_scroll"

# The class archive of the installed driver, made as the install step makes it.
archive=$state/javalib/kestrune-classes.jsa
"$bdir/lib/krscds" "$archive" "$state/javalib/" >/dev/null 2>&1 ||
  echo "bench_workloads.sh: krscds made no class archive" >&2

# The native driver, when installed, gets a data source of its own.
runs=(w a)
native=""
for d in /usr/lib/x86_64-linux-gnu/odbc /usr/lib/odbc /usr/local/lib; do
  [ -f "$d/psqlodbcw.so" ] && { native=$d/psqlodbcw.so; break; }
done
if [ -n "$native" ]; then
  cat >> "$ODBCSYSINI/odbc.ini" <<INI

[pg_native]
Driver = $native
Servername = 127.0.0.1
Port = $KRS_PG_PORT
Database = $KRS_PG_DB
Username = $KRS_PG_TRUST_USER
INI
  runs+=(native)
else
  echo "bench_workloads.sh: odbc-postgresql is not installed; the native driver is left out" >&2
fi

out="$bdir/workloads"
mkdir -p "$out"
rm -f "$out"/*.txt
url="jdbc:postgresql://127.0.0.1:$KRS_PG_PORT/$KRS_PG_DB"
dsn_of() { if [ "$1" = native ]; then echo pg_native; else echo "krs_${1%-nocds}"; fi; }
# timed <name> <command...>: one line "<name> <seconds> <per second>" of the
# whole command's wall time.
timed() {
  local name=$1; shift
  local t0=$EPOCHREALTIME
  "$@" >/dev/null || { echo "bench_workloads.sh: $name failed" >&2; return 1; }
  awk -v n="$name" -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { printf "%s %.3f %.2f\n", n, b - a, 1 / (b - a) }'
}
first_runs=(jdbc "${runs[@]/#/odbc_}")
for r in w a; do first_runs+=("odbc_$r-nocds"); done
load0=$(cut -d' ' -f1-3 /proc/loadavg)
for i in $(seq 1 "$reps"); do
  java -cp "$jar:$bdir/bench" JdbcWorkloads "$url" "$KRS_PG_TRUST_USER" bench_src > "$out/jdbc.$i.txt"
  for r in "${runs[@]}"; do
    "$bdir/bench/bench_workloads" "$(dsn_of "$r")" bench_src > "$out/odbc_$r.$i.txt"
  done
  # The cold first query, each program in turn; the runs without the class
  # archive last, with it set aside.
  for f in "${first_runs[@]}"; do
    case $f in
      jdbc) timed first java -cp "$jar:$bdir/bench" JdbcWorkloads "$url" "$KRS_PG_TRUST_USER" bench_src first ;;
      *-nocds) mv "$archive" "$archive.aside" 2>/dev/null || true
               timed first "$bdir/bench/bench_workloads" "$(dsn_of "${f#odbc_}")" bench_src first
               mv "$archive.aside" "$archive" 2>/dev/null || true ;;
      *) timed first "$bdir/bench/bench_workloads" "$(dsn_of "${f#odbc_}")" bench_src first ;;
    esac > "$out/first_$f.$i.txt"
  done
done
scrolls="scroll_static_mem scroll_static_6k scroll_static_50k scroll_keyset_6k scroll_mixed100_6k scroll_dynamic_6k"
# The median over the runs of each line's figures.
median() {
  cat "$out/$1".*.txt | awk -v w="$2" '$1 == w {print $2, $3}' | sort -g |
    awk '{l[NR] = $0} END {if (NR) print l[int((NR + 1) / 2)]}'
}
for f in jdbc "${runs[@]/#/odbc_}"; do
  for w in fetch getdata insert array connect columns $scrolls peak_rss_kb; do
    median "$f" "$w" | sed "s/^/$w /"
  done > "$out/$f.txt"
done
for f in "${first_runs[@]}"; do median "first_$f" first | sed "s/^/first /" > "$out/first_$f.txt"; done

label() { case $1 in w) echo quorvexw ;; a) echo quorvexa ;; w-nocds) echo "quorvexw, no archive" ;; a-nocds) echo "quorvexa, no archive" ;; *) echo "native ODBC" ;; esac; }
echo "rows fetched: $rows; runs: $reps (medians); load average before: $load0, after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "items per second (time as a multiple of pgjdbc's)"
head=$(printf '%-10s %14s' workload pgjdbc)
for r in "${runs[@]}"; do head+=$(printf ' %22s' "$(label "$r")"); done
echo "$head"
for w in fetch getdata insert array connect columns; do
  j=$(awk -v w=$w '$1 == w {print $2, $3}' "$out/jdbc.txt")
  line=$(printf '%-10s %14s' "$w" "${j#* }")
  for r in "${runs[@]}"; do
    o=$(awk -v w=$w '$1 == w {print $2, $3}' "$out/odbc_$r.txt")
    ratio=$(awk -v a="${o% *}" -v b="${j% *}" 'BEGIN { printf "%.2f", a / b }')
    line+=$(printf ' %14s (%5sx)' "${o#* }" "$ratio")
  done
  echo "$line"
done
echo "peak RSS while fetching, pgjdbc: $(awk '$1 == "peak_rss_kb" {print $2}' "$out/jdbc.txt") kB"
for r in "${runs[@]}"; do
  echo "peak RSS while fetching, $(label "$r"): $(awk '$1 == "peak_rss_kb" {print $2}' "$out/odbc_$r.txt") kB"
done
echo "cold first query: seconds from the process's start to its end (time as a multiple of pgjdbc's)"
jf=$(awk '$1 == "first" {print $2}' "$out/first_jdbc.txt")
line=$(printf '%-10s %14s' first "${jf}s")
for f in "${first_runs[@]:1}"; do
  o=$(awk '$1 == "first" {print $2}' "$out/first_$f.txt")
  line+=$(printf '  %s %ss (%sx)' "$(label "${f#odbc_}"):" "$o" "$(awk -v a="$o" -v b="$jf" 'BEGIN { printf "%.2f", a / b }')")
done
echo "$line"
echo
echo "scroll: random moves per second, rowsets of 10 (- where the driver has no such cursor)"
head=$(printf '%-20s' case)
for r in "${runs[@]}"; do head+=$(printf ' %12s' "$(label "$r")"); done
echo "$head"
for w in $scrolls; do
  line=$(printf '%-20s' "${w#scroll_}")
  for r in "${runs[@]}"; do
    o=$(awk -v w="$w" '$1 == w {print $3}' "$out/odbc_$r.txt")
    line+=$(printf ' %12s' "${o:--}")
  done
  echo "$line"
done
