#!/usr/bin/env bash
# The driver's main job, end to end: installs what is missing, builds both
# libraries (and nothing else), starts a throwaway PostgreSQL on a free
# loopback port, registers the libraries with unixODBC in a private
# configuration and, through unixODBC's isql, creates a table, writes rows
# and reads them back.
# Everything it starts is stopped on exit.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
# Only what the demo runs: the two libraries and the login library (the
# build tree is the one scripts/build.sh and scripts/test.sh use).
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" -j "$(nproc 2>/dev/null || echo 2)" --target quorvexw quorvexa krslogon

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

# run_isql <dsn> <isql arguments...> -- <sql>...: connects through isql and
# runs the statements, one per line; fails when isql cannot connect or a
# statement fails.
run_isql() {
  local dsn=$1; shift
  local args=()
  while [ "$1" != "--" ]; do args+=("$1"); shift; done
  shift
  local out
  out=$(printf '%s\n' "$@" | isql -v -b "$dsn" "${args[@]}" 2>&1) || { echo "$out"; return 1; }
  echo "$out"
  if grep -q -e 'Could not SQLConnect' -e 'Could not SQLExecute' -e 'Could not SQLPrepare' <<<"$out"; then
    return 1
  fi
}

echo
echo "== A query through isql and the Unicode library (DSN krs_w)"
if ! run_isql krs_w -- "SELECT 'hello from ' || current_user AS greeting, version() AS server"; then
  echo "demo: isql could not connect through the driver" >&2
  exit 1
fi
# A table written and read back through each library.  isql sends each line
# as it is and binds nothing, so the rows with parameters go through a
# statement the server prepares (PREPARE ... EXECUTE); the driver's own
# parameters (SQLBindParameter over every main C type, parameter arrays, data
# at execution) are exercised through unixODBC by tests/e2e/stmt_dm.cpp with
# both libraries.
for lib in w a; do
  echo
  echo "== A table through the $( [ $lib = w ] && echo Unicode || echo ANSI ) library (DSN krs_$lib): create, insert, select"
  if ! run_isql "krs_$lib" -- \
      "DROP TABLE IF EXISTS demo_$lib" \
      "CREATE TABLE demo_$lib (id int PRIMARY KEY, name varchar(40), amount numeric(12,2), created timestamp)" \
      "INSERT INTO demo_$lib VALUES (1, 'first', 12.50, {ts '2024-01-02 03:04:05'}), (2, 'second', -0.25, now()), (3, NULL, NULL, NULL)" \
      "PREPARE demo_ins_$lib (int, varchar, numeric, timestamp) AS INSERT INTO demo_$lib VALUES (\$1, \$2, \$3, \$4)" \
      "EXECUTE demo_ins_$lib (4, 'fourth', 4.25, {ts '2024-05-06 07:08:09'})" \
      "EXECUTE demo_ins_$lib (5, 'fifth', NULL, NULL)" \
      "UPDATE demo_$lib SET amount = amount * 2 WHERE id = 1" \
      "SELECT id, name, amount, created IS NOT NULL AS dated FROM demo_$lib ORDER BY id" \
      "DROP TABLE demo_$lib"; then
    echo "demo: the statements through krs_$lib failed" >&2
    exit 1
  fi
done

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
