#!/usr/bin/env bash
# Builds Lumera (installing what it needs) and starts the window.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/setup.sh"
exec "$root/build/src/lumera" "$@"
