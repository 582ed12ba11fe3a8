#!/usr/bin/env bash
# The one-command installation: cmake --install into a temporary prefix lays
# out the libraries and the Java directory, writes BNLibs into the registry
# file and registers both drivers with unixODBC (a private ODBCSYSINI); isql
# connects through each installed driver; installing again counts once; the
# uninstall removes all of it and gives back a registry file that was there
# before as it was.  The system's own unixODBC and registry files are never
# touched.
set -euo pipefail
. "$KRS_TEST_STATE/pg.env"
fail() { echo "FAIL: $*" >&2; exit 1; }

bdir=$(dirname "$KRS_TEST_LIBDIR")
tmp=$(mktemp -d /tmp/krs-install-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
system_files() { { cat /etc/odbcinst.ini /etc/odbc.ini /etc/kestrune/registry.ini 2>/dev/null || true; } | md5sum; }
before=$(system_files)

export ODBCSYSINI=$tmp/odbc ODBCINSTINI=odbcinst.ini ODBCINI=$tmp/odbc/odbc.ini
export KRS_REGISTRY_FILE=$tmp/etc/kestrune/registry.ini
mkdir -p "$ODBCSYSINI"
prefix=$tmp/prefix
libdir=$prefix/lib/kestrune
url="serverName=127.0.0.1;portNumber=$KRS_PG_PORT;databaseName=$KRS_PG_DB"
cat > "$ODBCINI" <<INI
[inst_w]
Driver = Kestrune ODBC Unicode
URLString = $url
UID = $KRS_PG_TRUST_USER

[inst_a]
Driver = Kestrune ODBC ANSI
URLString = $url
UID = $KRS_PG_TRUST_USER
INI

install() {
  cmake --install "$bdir" --prefix "$prefix" > "$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "cmake --install failed"; }
}
uninstall() {
  bash "$KRS_TEST_SRCDIR/scripts/install.sh" --uninstall --prefix "$prefix" > "$tmp/uninstall.log" 2>&1 \
    || { cat "$tmp/uninstall.log"; fail "uninstall failed"; }
}

install
for lib in libquorvexw.so libquorvexa.so libkrslogon.so; do
  [ -f "$libdir/$lib" ] || fail "$lib is not installed"
done
[ "$(readlink "$libdir/java/postgresql-8.1-405.jdbc3.jar")" = /usr/share/java/postgresql.jar ] || fail "no jar link"
grep -qxF "BNLibs=$libdir/java/" "$KRS_REGISTRY_FILE" || fail "BNLibs not written: $(cat "$KRS_REGISTRY_FILE")"
odbcinst -q -d -n "Kestrune ODBC Unicode" | grep -qxF "Driver=$libdir/libquorvexw.so" || fail "Unicode driver not registered"
odbcinst -q -d -n "Kestrune ODBC ANSI" | grep -qxF "Driver=$libdir/libquorvexa.so" || fail "ANSI driver not registered"

for dsn in inst_w inst_a; do
  out=$(echo "select 40 + 2 as answer" | isql -b -v "$dsn" 2>&1) || fail "isql $dsn: $out"
  grep -qw 42 <<<"$out" || fail "isql $dsn answered: $out"
done

# The class archive of the JDBC driver's classes: the installation makes it
# and the driver's VM maps it; stale (the jar link changed after it), cut
# short or missing, the VM starts without it and says nothing.
java=$libdir/java
archive=$java/kestrune-classes.jsa
[ -x "$libdir/krscds" ] || fail "krscds is not installed"
[ -s "$archive" ] && [ -s "$archive.size" ] || fail "no class archive: $(ls "$java")"
first_query() {
  local log=$tmp/classes.txt out used=0
  rm -f "$log"
  out=$(echo "select 40 + 2 as answer" | KRS_JVM_OPTS="-Xlog:class+load:file=$log" isql -b -v inst_w 2>&1) \
    || fail "$1: isql: $out"
  grep -qw 42 <<<"$out" || fail "$1: isql answered: $out"
  if grep -qiE 'warning|cds|archive|error' <<<"$out"; then fail "$1: the VM spoke: $out"; fi
  grep -q 'org.postgresql.jdbc.PgConnection source: shared objects file (top)' "$log" && used=1
  [ "$used" = "$2" ] || fail "$1: the archive was used: $used, not $2"
}
first_query "as installed" 1
touch -h "$java/postgresql-8.1-405.jdbc3.jar"
first_query "after the jar link changed" 0
"$libdir/krscds" "$archive" "$java/" >/dev/null 2>&1 || fail "krscds could not make the archive again"
first_query "made again" 1
chmod u+w "$archive"
truncate -s 100000 "$archive"
first_query "cut short" 0
rm -f "$archive"
first_query "missing" 0

# Installing again replaces the registration: one uninstall removes it.
install
grep -q '^UsageCount=2' "$ODBCSYSINI/odbcinst.ini" && fail "a second installation counted twice"
uninstall
[ ! -e "$libdir" ] || fail "$libdir is left: $(ls -R "$libdir")"
[ ! -e "$KRS_REGISTRY_FILE" ] || fail "the registry file it created is left: $(cat "$KRS_REGISTRY_FILE")"
[ ! -e "$(dirname "$KRS_REGISTRY_FILE")" ] || fail "the registry directory it created is left"
if grep -q Kestrune "$ODBCSYSINI/odbcinst.ini" 2>/dev/null; then fail "drivers still registered"; fi
out=$(echo "select 1" | isql -b "inst_w" 2>&1) && fail "isql still connects: $out"

# A registry file with values of its own keeps them, and gets its earlier
# BNLibs back.
mkdir -p "$(dirname "$KRS_REGISTRY_FILE")"
printf '%s\n' '[HKEY_CURRENT_USER\Software\Kestrune Software\6.0]' 'Trace=1' \
  '[HKEY_LOCAL_MACHINE\Software\Kestrune Software\6.0]' 'BNLibs=/opt/old/' 'Other=x' > "$KRS_REGISTRY_FILE"
cp "$KRS_REGISTRY_FILE" "$tmp/registry.orig"
install
grep -qxF "BNLibs=$libdir/java/" "$KRS_REGISTRY_FILE" || fail "BNLibs not replaced"
grep -qx "Other=x" "$KRS_REGISTRY_FILE" && grep -qx "Trace=1" "$KRS_REGISTRY_FILE" || fail "other values lost"
uninstall
cmp -s "$KRS_REGISTRY_FILE" "$tmp/registry.orig" || fail "registry file not given back: $(cat "$KRS_REGISTRY_FILE")"

[ "$before" = "$(system_files)" ] || fail "the system's unixODBC or registry files changed"
echo "install ok"
