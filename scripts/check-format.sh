#!/usr/bin/env bash
# Fails when a tracked C++ file differs from what clang-format (Debian's, with
# .clang-format) makes of it, naming each such file; `--fix` rewrites them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }
mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
# One run over all files; each difference is reported as "FILE:LINE:COL: error".
report="$(clang-format --dry-run --Werror "${files[@]}" 2>&1 >/dev/null || true)"
mapfile -t off < <(grep -o '^[^:]*:[0-9]*:[0-9]*: error' <<< "$report" | cut -d: -f1 | sort -u)
if [ ${#off[@]} -gt 0 ]; then
  printf 'not formatted: %s\n' "${off[@]}" >&2
  echo "check-format: ${#off[@]} of ${#files[@]} files differ from clang-format $(clang-format --version | grep -o '[0-9][0-9.]*' | head -1); scripts/check-format.sh --fix rewrites them" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files as clang-format writes them"
