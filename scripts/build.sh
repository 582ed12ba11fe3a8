#!/usr/bin/env bash
# Configures and builds into build/ (or the directory given as $1).  Extra
# arguments go to cmake's configure step.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bdir=${1:-$here/build}
shift || true
jobs=$(nproc 2>/dev/null || echo 2)
cmake -S "$here" -B "$bdir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$bdir" -j "$jobs"
