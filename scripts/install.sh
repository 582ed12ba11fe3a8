#!/usr/bin/env bash
# Installs the driver in one command, or removes what an installation added.
#
#   scripts/install.sh [--prefix DIR] [--build DIR]   build when needed, then cmake --install
#   scripts/install.sh --uninstall [--prefix DIR]     undo an installation into DIR
#   scripts/install.sh --register --prefix DIR        the steps after the files are copied
#                                                     (cmake --install runs them itself)
#
# The prefix defaults to /usr/local.  An installation puts libquorvexw.so,
# libquorvexa.so, libkrslogon.so and krscds in <prefix>/lib/kestrune, lays
# out <prefix>/lib/kestrune/java with the driver's jar name linked to the
# system's JDBC jar (KRS_JDBC_JAR, else /usr/share/java/postgresql.jar) and
# the class-data-sharing archive of its classes that krscds makes (the
# driver's VM starts faster with it, and as before without it), writes
# BNLibs into the registry file (KRS_REGISTRY_FILE, else
# /etc/kestrune/registry.ini) and registers both drivers with unixODBC
# through odbcinst (ODBCSYSINI chooses its odbcinst.ini, as for every
# unixODBC tool).  What it changed is noted in <prefix>/lib/kestrune/install.state,
# from which --uninstall undoes exactly that.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

mode=install
prefix=/usr/local
bdir=""
while [ $# -gt 0 ]; do
  case $1 in
    --prefix) prefix=$2; shift 2 ;;
    --build) bdir=$2; shift 2 ;;
    --uninstall) mode=uninstall; shift ;;
    --register) mode=register; shift ;;
    -h|--help) sed -n '2,20p' "$0"; exit 0 ;;
    *) echo "install.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
prefix=$(realpath -m "$prefix")
libdir=$prefix/lib/kestrune
javadir=$libdir/java
state=$libdir/install.state
registry=${KRS_REGISTRY_FILE:-/etc/kestrune/registry.ini}
jar=${KRS_JDBC_JAR:-/usr/share/java/postgresql.jar}
# The jar name the driver loads from BNLibs (its built-in jar list).
jarname=postgresql-8.1-405.jdbc3.jar
# The class archive the driver's VM maps, and the file holding its size.
archive=kestrune-classes.jsa
section='[HKEY_LOCAL_MACHINE\Software\Kestrune Software\6.0]'
drivers=("Kestrune ODBC Unicode:libquorvexw.so" "Kestrune ODBC ANSI:libquorvexa.so")

note() { echo "install.sh: $*"; }

# The BNLibs value of the driver's section of the registry file, if any.
registry_value() {
  [ -f "$registry" ] || return 0
  # The section goes through the environment: awk -v would read its backslashes as escapes.
  KRS_SEC=$section awk '
    BEGIN { sec = ENVIRON["KRS_SEC"] }
    $0 == sec { inside = 1; next }
    /^\[/ { inside = 0 }
    inside && /^BNLibs=/ { sub(/^BNLibs=/, ""); print; exit }' "$registry"
}

# Sets (or, with an empty value, removes) BNLibs in the driver's section,
# adding the section when it is missing; every other line stays.
registry_set() {
  local value=$1 tmp
  tmp=$(mktemp "$(dirname "$registry")/.registry.XXXXXX")
  KRS_SEC=$section KRS_VAL=$value awk '
    BEGIN { sec = ENVIRON["KRS_SEC"]; val = ENVIRON["KRS_VAL"] }
    function put() { if (val != "" && !done) print "BNLibs=" val; done = 1 }
    $0 == sec { print; inside = 1; seen = 1; next }
    /^\[/ { if (inside) put(); inside = 0 }
    inside && /^BNLibs=/ { put(); next }
    { print }
    END {
      if (inside) put()
      if (!seen && val != "") { print sec; print "BNLibs=" val }
    }' "$registry" > "$tmp"
  chmod 644 "$tmp"
  mv "$tmp" "$registry"
}

# True when the file holds nothing but the driver's section header and blank lines.
registry_empty() {
  ! KRS_SEC=$section awk 'BEGIN { sec = ENVIRON["KRS_SEC"] } $0 != sec && $0 !~ /^[ \t]*$/ { found = 1 } END { exit !found }' "$registry"
}

register() {
  for lib in libquorvexw.so libquorvexa.so libkrslogon.so; do
    [ -f "$libdir/$lib" ] || { echo "install.sh: $libdir/$lib is missing (run cmake --install first)" >&2; exit 1; }
  done
  # An earlier installation into this prefix is replaced, not counted twice.
  if [ -f "$state" ]; then
    unregister
  fi
  : > "$state"
  mkdir -p "$javadir"
  [ -f "$jar" ] || note "warning: $jar is missing; install libpostgresql-jdbc-java"
  ln -sfn "$jar" "$javadir/$jarname"
  # Made after the jar link: an archive older than the jar or the VM is not used.
  rm -f "$javadir/$archive" "$javadir/$archive.size"
  if [ -x "$libdir/krscds" ] && [ -f "$jar" ] && "$libdir/krscds" "$javadir/$archive" "$javadir/" >/dev/null 2>&1; then
    note "class archive $javadir/$archive"
  else
    note "no class archive was made; the driver starts without one"
  fi

  local old created=0
  if [ ! -f "$registry" ]; then
    [ -d "$(dirname "$registry")" ] || { mkdir -p "$(dirname "$registry")"; echo "registry_dir=$(dirname "$registry")" >> "$state"; }
    : > "$registry"
    chmod 644 "$registry"
    created=1
  fi
  old=$(registry_value)
  registry_set "$javadir/"
  { echo "registry=$registry"; echo "registry_created=$created"; echo "registry_old=$old"; } >> "$state"
  note "BNLibs=$javadir/ in $registry"

  local sysini tmpl
  sysini=$(odbcinst -j | awk -F': ' '/^DRIVERS/ {print $2}')
  tmpl=$(mktemp)
  for d in "${drivers[@]}"; do
    local name=${d%%:*} file=${d#*:}
    printf '[%s]\nDescription = %s\nDriver = %s\nSetup = %s\nFileUsage = 1\n\n' \
      "$name" "$name" "$libdir/$file" "$libdir/$file" >> "$tmpl"
  done
  odbcinst -i -d -f "$tmpl" >/dev/null
  rm -f "$tmpl"
  { echo "odbcsysini=${ODBCSYSINI:-}"; echo "odbcinstini=${ODBCINSTINI:-}"; echo "odbc_registered=1"; } >> "$state"
  note "drivers \"Kestrune ODBC Unicode\" and \"Kestrune ODBC ANSI\" registered in $sysini"
}

state_value() { sed -n "s/^$1=//p" "$state" | head -n 1; }

# Undoes the registry and unixODBC steps the state file records.
unregister() {
  [ -f "$state" ] || return 0
  if [ "$(state_value odbc_registered)" = 1 ]; then
    local sysini inst
    sysini=$(state_value odbcsysini)
    inst=$(state_value odbcinstini)
    for d in "${drivers[@]}"; do
      ( if [ -n "$sysini" ]; then export ODBCSYSINI=$sysini; else unset ODBCSYSINI; fi
        if [ -n "$inst" ]; then export ODBCINSTINI=$inst; else unset ODBCINSTINI; fi
        odbcinst -u -d -n "${d%%:*}" >/dev/null 2>&1 || true )
    done
  fi
  local reg
  reg=$(state_value registry)
  if [ -n "$reg" ] && [ -f "$reg" ]; then
    registry=$reg
    if [ "$(registry_value)" = "$javadir/" ]; then
      registry_set "$(state_value registry_old)"
      if [ "$(state_value registry_created)" = 1 ] && registry_empty; then
        rm -f "$registry"
        local rdir
        rdir=$(state_value registry_dir)
        [ -n "$rdir" ] && rmdir "$rdir" 2>/dev/null || true
      fi
    fi
  fi
  rm -f "$state"
}

uninstall() {
  if [ ! -f "$state" ] && [ ! -d "$libdir" ]; then
    note "nothing installed under $prefix"
    return 0
  fi
  unregister
  rm -f "$javadir/$jarname" "$javadir/$archive" "$javadir/$archive.size" "$javadir/$archive.new" \
    "$libdir/libquorvexw.so" "$libdir/libquorvexa.so" "$libdir/libkrslogon.so" "$libdir/krscds"
  rmdir "$javadir" 2>/dev/null || true
  rmdir "$libdir" 2>/dev/null || true
  note "removed the driver from $prefix"
}

case $mode in
  register) register ;;
  uninstall) uninstall ;;
  install)
    if [ -z "$bdir" ]; then
      bdir=$here/build
      [ -f "$bdir/CMakeCache.txt" ] || bdir=$here/build-install
    fi
    if [ ! -f "$bdir/CMakeCache.txt" ]; then
      cmake -S "$here" -B "$bdir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKRS_BUILD_TESTS=OFF >/dev/null
    fi
    cmake --build "$bdir" -j "$(nproc 2>/dev/null || echo 2)" --target quorvexw quorvexa krslogon krscds >/dev/null
    cmake --install "$bdir" --prefix "$prefix"
    ;;
esac
