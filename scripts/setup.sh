#!/usr/bin/env bash
# Installs what the build needs (Debian 12 packages, listed in
# scripts/packages.txt) when it is missing, then configures and builds into
# build/. Called by run.sh and test.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-packages.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$root/build" -j"$(nproc)"
