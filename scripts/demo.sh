#!/usr/bin/env bash
# The driver's main job, end to end: installs what is missing, builds both
# libraries, starts a throwaway PostgreSQL on a free loopback port, registers
# the libraries with unixODBC in a private configuration and runs queries
# through unixODBC's isql.  Everything it starts is stopped on exit.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
bash scripts/build.sh "$here/build"

state=$(mktemp -d /tmp/krs-demo-XXXXXX)
cleanup() { bash tests/pg/pg_fixture.sh stop "$state" || true; rm -rf "$state"; }
trap cleanup EXIT
bash tests/pg/pg_fixture.sh start "$state" "$here/build/lib"
# shellcheck disable=SC1091
. "$state/env.sh"

echo
echo "== unixODBC sees the drivers and data sources"
odbcinst -q -d
odbcinst -q -s

run_isql() {  # run_isql <dsn> <sql...>
  local dsn=$1; shift
  printf '%s\n' "$@" | isql -v -b "$dsn"
}

echo
echo "== A query through isql and the Unicode library (DSN krs_w)"
if ! run_isql krs_w "SELECT 'hello from ' || current_user AS greeting, version() AS server"; then
  echo "demo: isql could not run the query through the driver" >&2
  exit 1
fi
echo
echo "== The same through the ANSI library (DSN krs_a)"
run_isql krs_a "SELECT count(*) AS tables FROM pg_catalog.pg_tables"
echo
echo "demo: done (the server is stopped and its files removed on exit)"
