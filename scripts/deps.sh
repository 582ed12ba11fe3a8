#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# any is missing.  Safe to run again.
set -euo pipefail

PKGS=(
  build-essential cmake pkg-config
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  unixodbc unixodbc-dev odbcinst
  openjdk-17-jdk-headless libpostgresql-jdbc-java
  postgresql-15 postgresql-client-15
  bison flex
  clang libclang-rt-14-dev
)

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "deps: installing ${missing[*]}"
SUDO=
[ "$(id -u)" = 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# The postgresql package would create and start a cluster of its own: we only
# want the binaries, our tests start their own server.
$SUDO mkdir -p /etc/postgresql-common/createcluster.d
echo "create_main_cluster = false" | $SUDO tee /etc/postgresql-common/createcluster.d/krs.conf >/dev/null
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
