#!/usr/bin/env bash
# The PostgreSQL fixture is a real server and unixODBC sees our configuration:
# psql reaches both roles (the password role only with its password), and
# unixODBC lists the two drivers and their data sources.
set -euo pipefail
. "$KRS_TEST_STATE/pg.env"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$KRS_PG_BIN/psql" -X -At -h 127.0.0.1 -p "$KRS_PG_PORT" -U krs_trust -d krs_test \
  -c "select current_setting('max_prepared_transactions')" | grep -qx 10 \
  || fail "trust role cannot connect or max_prepared_transactions is not 10"
PGPASSWORD="$KRS_PG_PW" "$KRS_PG_BIN/psql" -X -At -h 127.0.0.1 -p "$KRS_PG_PORT" -U krs_pw -d krs_test \
  -c "select current_user" | grep -qx krs_pw || fail "password role cannot log in"
if PGPASSWORD=wrong "$KRS_PG_BIN/psql" -X -At -h 127.0.0.1 -p "$KRS_PG_PORT" -U krs_pw -d krs_test -c "select 1" 2>/dev/null; then
  fail "password role accepted a wrong password"
fi

odbcinst -q -d 2>/dev/null | grep -q 'Kestrune ODBC Unicode' || {
  # odbcinst may be absent: read the file unixODBC uses instead
  grep -q '^\[Kestrune ODBC Unicode\]' "$ODBCSYSINI/odbcinst.ini" || fail "driver not registered"
}
for lib in libquorvexw.so libquorvexa.so; do
  [ -f "$KRS_TEST_LIBDIR/$lib" ] || fail "$lib not built"
done
echo "fixture ok on port $KRS_PG_PORT"
