#!/usr/bin/env bash
# Throwaway PostgreSQL 15 for the end-to-end tests and the demo.
#
#   pg_fixture.sh start <state-dir> <lib-dir>   initdb, start, write ini files
#   pg_fixture.sh stop  <state-dir>             stop the server, remove its data
#
# KRS_PG_MAX_PREPARED sets max_prepared_transactions (default 10).
#
# The data and socket directories live under /tmp and belong to the user
# `postgres` when we run as root (CI clones may not be enterable by it).
# <state-dir> receives pg.env, odbcinst.ini, odbc.ini, registry.ini and the
# Java library directory with the driver's jar name linked to the system jar.
set -euo pipefail

cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop <state-dir> [lib-dir]" >&2; exit 2; }

PGBIN=${PGBIN:-}
if [ -z "$PGBIN" ]; then
  for d in /usr/lib/postgresql/15/bin /usr/lib/postgresql/*/bin; do
    [ -x "$d/initdb" ] && { PGBIN=$d; break; }
  done
fi
[ -x "$PGBIN/initdb" ] || { echo "pg_fixture: no PostgreSQL server binaries found" >&2; exit 1; }

as_pg() {
  if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

free_port() {
  local p
  for _ in $(seq 1 200); do
    p=$(( 20000 + RANDOM % 30000 ))
    if ! (exec 3<>/dev/tcp/127.0.0.1/$p) 2>/dev/null; then echo $p; return 0; fi
  done
  return 1
}

stop() {
  [ -f "$state/pg.env" ] || return 0
  # shellcheck disable=SC1091
  . "$state/pg.env"
  if [ -n "${KRS_PG_DATA:-}" ] && [ -d "$KRS_PG_DATA" ]; then
    as_pg "$PGBIN/pg_ctl" -D "$KRS_PG_DATA" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$KRS_PG_ROOT"
  fi
  rm -f "$state/pg.env"
}

start() {
  local libdir=${3:-}
  mkdir -p "$state"
  stop
  local root; root=$(mktemp -d /tmp/krs-pg-XXXXXX)
  chmod 755 "$root"
  mkdir -p "$root/data" "$root/sock"
  [ "$(id -u)" = 0 ] && chown -R postgres:postgres "$root"
  local port; port=$(free_port)
  local pwfile="$root/pw"
  echo "krs_admin" > "$pwfile"; [ "$(id -u)" = 0 ] && chown postgres "$pwfile"
  as_pg "$PGBIN/initdb" -D "$root/data" -U postgres -A trust -E UTF8 --locale=C.UTF-8 >"$root/initdb.log" 2>&1 \
    || { cat "$root/initdb.log" >&2; exit 1; }
  cat >> "$root/data/postgresql.conf" <<CONF
listen_addresses = '127.0.0.1'
port = $port
unix_socket_directories = '$root/sock'
max_prepared_transactions = ${KRS_PG_MAX_PREPARED:-10}
max_connections = 60
fsync = off
synchronous_commit = off
full_page_writes = off
CONF
  cat > "$root/data/pg_hba.conf" <<HBA
local all all trust
host all postgres 127.0.0.1/32 trust
host all krs_trust 127.0.0.1/32 trust
host all all 127.0.0.1/32 scram-sha-256
HBA
  as_pg "$PGBIN/pg_ctl" -D "$root/data" -l "$root/server.log" -w -t 60 start >/dev/null \
    || { cat "$root/server.log" >&2; exit 1; }
  as_pg "$PGBIN/psql" -X -q -h "$root/sock" -p "$port" -U postgres -d postgres -v ON_ERROR_STOP=1 <<SQL
CREATE ROLE krs_trust LOGIN SUPERUSER;
CREATE ROLE krs_pw LOGIN SUPERUSER PASSWORD 'krs;Secret=1';
CREATE DATABASE krs_test OWNER krs_trust;
SQL
  cat > "$state/pg.env" <<ENV
KRS_PG_ROOT=$root
KRS_PG_DATA=$root/data
KRS_PG_SOCK=$root/sock
KRS_PG_BIN=$PGBIN
KRS_PG_PORT=$port
KRS_PG_DB=krs_test
KRS_PG_TRUST_USER=krs_trust
KRS_PG_PW_USER=krs_pw
KRS_PG_PW='krs;Secret=1'
ENV
  write_config "$libdir" "$port"
  echo "pg_fixture: PostgreSQL on 127.0.0.1:$port (data $root/data)"
}

# The private unixODBC and registry configuration for the built libraries.
write_config() {
  local libdir=$1 port=$2
  local jdir="$state/javalib"
  mkdir -p "$jdir"
  local jar=/usr/share/java/postgresql.jar
  for name in postgresql-8.1-405.jdbc3.jar postgresql.jar; do
    ln -sfn "$jar" "$jdir/$name"
  done
  # URLString is the data source's JDBC property list (name=value;...)
  local url="serverName=127.0.0.1;portNumber=$port;databaseName=krs_test"
  cat > "$state/odbcinst.ini" <<INI
[Kestrune ODBC Unicode]
Description = Kestrune ODBC (Unicode)
Driver = $libdir/libquorvexw.so
Setup = $libdir/libquorvexw.so
FileUsage = 1

[Kestrune ODBC ANSI]
Description = Kestrune ODBC (ANSI)
Driver = $libdir/libquorvexa.so
Setup = $libdir/libquorvexa.so
FileUsage = 1
INI
  cat > "$state/odbc.ini" <<INI
[ODBC Data Sources]
krs_w = Kestrune ODBC Unicode
krs_a = Kestrune ODBC ANSI

[krs_w]
Driver = Kestrune ODBC Unicode
URLString = $url
UID = krs_trust

[krs_a]
Driver = Kestrune ODBC ANSI
URLString = $url
UID = krs_trust

[krs_w_pw]
Driver = Kestrune ODBC Unicode
URLString = $url
UID = krs_pw

[krs_a_pw]
Driver = Kestrune ODBC ANSI
URLString = $url
UID = krs_pw
INI
  cat > "$state/registry.ini" <<INI
[HKEY_LOCAL_MACHINE\\Software\\Kestrune Software\\6.0]
BNLibs=$jdir/
INI
  cat > "$state/env.sh" <<ENV
export ODBCSYSINI=$state
export ODBCINSTINI=odbcinst.ini
export ODBCINI=$state/odbc.ini
export KRS_REGISTRY_FILE=$state/registry.ini
ENV
}

case "$cmd" in
  start) start "$@" ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop <state-dir> [lib-dir]" >&2; exit 2 ;;
esac
