#!/usr/bin/env bash
# Builds and runs the whole test suite:
#   build/       unit tests, Java VM tests and end-to-end tests through unixODBC
#                against a PostgreSQL server the tests start themselves
#   build-asan/  the unit tests again under AddressSanitizer and UBSan (only
#                the programs they run are built there)
#   build-fuzz/  the SQL analyser's libFuzzer target (clang), run for a
#                bounded time from the seed statements
# Exits non-zero when anything fails.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/build.sh "$here/build"
cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRS_SANITIZE=ON >/dev/null
cmake --build "$here/build-asan" -j "$jobs" --target krs_unit_tests

rc=0
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest --output-on-failure -j "$jobs" -L unit) || rc=1
# Server tests share one PostgreSQL; the unit tests run beside them.
(cd build && ctest --output-on-failure -j "$jobs") || rc=1
bash scripts/fuzz.sh "$here/build-fuzz" 25 || rc=1

if [ $rc -ne 0 ]; then echo "test.sh: FAILED" >&2; else echo "test.sh: all tests passed"; fi
exit $rc
