#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages, listed in
# scripts/packages.txt) when it is missing, then configures and builds into
# build/. Called by run.sh and test.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-packages.sh"
# LUMERA_WERROR=ON in the environment (as CI sets it) makes warnings errors.
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release ${LUMERA_WERROR:+-DLUMERA_WERROR="$LUMERA_WERROR"}
cmake --build "$root/build" -j"$(nproc)"
