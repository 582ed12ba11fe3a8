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

# run_isql <dsn> <isql arguments...> -- <sql>: connects through isql and runs
# the query; a driver without statements yet still has to connect.
run_isql() {
  local dsn=$1; shift
  local args=()
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  shift
  local out
  out=$(printf '%s\n' "$@" | isql -v -b "$dsn" "${args[@]}" 2>&1) || { echo "$out"; return 1; }
  echo "$out"
  if grep -q 'Could not SQLConnect' <<<"$out"; then
    return 1
  elif grep -q 'Could not SQLAllocStmt' <<<"$out"; then
    echo "demo: connected to $dsn and disconnected again; statements come in a later step, and the query's rows with them"
  fi
}

echo
echo "== A query through isql and the Unicode library (DSN krs_w)"
if ! run_isql krs_w -- "SELECT 'hello from ' || current_user AS greeting, version() AS server"; then
  echo "demo: isql could not connect through the driver" >&2
  exit 1
fi
echo
echo "== The ANSI library (DSN krs_a_pw) with the password role; its password holds ';' and '='"
# shellcheck disable=SC1091
. "$state/pg.env"
if ! run_isql krs_a_pw "$KRS_PG_PW_USER" "$KRS_PG_PW" -- "SELECT count(*) AS tables FROM pg_catalog.pg_tables"; then
  echo "demo: isql could not connect through the driver" >&2
  exit 1
fi
echo
echo "== A wrong password is refused with the server's own diagnostic"
run_isql krs_a_pw "$KRS_PG_PW_USER" wrong -- "SELECT 1" || true
echo
echo "demo: done (the server is stopped and its files removed on exit)"
