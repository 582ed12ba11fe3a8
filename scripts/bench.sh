#!/usr/bin/env bash
# Builds the benchmarks into build-bench/ (or the directory given as $1) and
# runs every bench_* program.  Further arguments go to each program, e.g.
#   bash scripts/bench.sh /work/build-bench --benchmark_filter=GetColumn
# Then, unless KRS_BENCH_E2E=0, it starts the test PostgreSQL and runs the
# end-to-end fetch benchmark through unixODBC with both libraries.
# Benchmarks report figures (time, bytes or items per second, heap calls per
# operation); they assert nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bdir=${1:-$here/build-bench}
shift || true

if [ ! -f /usr/include/benchmark/benchmark.h ]; then
  if [ "$(id -u)" = 0 ]; then
    apt-get update >/dev/null && apt-get install -y libbenchmark-dev >/dev/null
  else
    echo "bench.sh: libbenchmark-dev is not installed" >&2
    exit 1
  fi
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$here" -B "$bdir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRS_BUILD_BENCH=ON -DKRS_BUILD_TESTS=OFF >/dev/null
targets=$(cd "$here/bench" && ls bench_*.cpp | sed 's/\.cpp$//')
# shellcheck disable=SC2086
if ! cmake --build "$bdir" -j "$jobs" --target $targets >"$bdir/bench-build.log" 2>&1; then
  tail -40 "$bdir/bench-build.log" >&2
  echo "bench.sh: build failed (full log: $bdir/bench-build.log)" >&2
  exit 1
fi

# No trace file and no registry settings of this machine: the figures are
# those of a driver with tracing off.
export KRS_REGISTRY_FILE="$bdir/bench-registry.ini"
: > "$KRS_REGISTRY_FILE"
unset KRS_DEBUGFILE || true

rc=0
for t in $targets; do
  echo "== $t"
  "$bdir/bench/$t" "$@" || rc=1
done

if [ "${KRS_BENCH_E2E:-1}" != 0 ]; then
  echo "== bench_e2e_fetch"
  if ! cmake --build "$bdir" -j "$jobs" --target bench_e2e_fetch >>"$bdir/bench-build.log" 2>&1; then
    tail -40 "$bdir/bench-build.log" >&2
    echo "bench.sh: build of bench_e2e_fetch failed" >&2
    exit 1
  fi
  state="$bdir/pgstate"
  fixture="$here/tests/pg/pg_fixture.sh"
  trap 'bash "$fixture" stop "$state" || true' EXIT
  if bash "$fixture" start "$state" "$bdir/lib" >/dev/null; then
    # shellcheck disable=SC1091
    (. "$state/env.sh" && "$bdir/bench/bench_e2e_fetch" "$@") || rc=1
  else
    echo "bench.sh: no PostgreSQL for the end-to-end benchmark" >&2
    rc=1
  fi
fi
exit $rc
