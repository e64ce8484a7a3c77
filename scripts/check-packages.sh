#!/usr/bin/env bash
# Fails when the configure step reads a file from a Debian package that the
# package list does not bring in without Recommends: such a build passes on a
# machine that happens to have the package and fails on a fresh one.
# Usage: check-packages.sh [LIST]   (LIST defaults to scripts/packages.txt)
# The packages must be installed (scripts/install-packages.sh) beforehand.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
list="${1:-$here/packages.txt}"
shown="${1:-scripts/packages.txt}"
mapfile -t packages < <(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$list" | grep -v '^$')

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The same configuration as scripts/setup.sh, traced.
if ! cmake -S "$root" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
     --trace-format=json-v1 --trace-redirect="$work/trace.json" >"$work/configure.log" 2>&1; then
  cat "$work/configure.log" >&2
  echo "check-packages: the configure step failed (are the packages installed?)" >&2
  exit 1
fi

# Every file the configure step ran a command from, outside the project and
# the throwaway folder; the CMake package configuration files first, so that
# they are the ones named in a failure. The compiler is read too.
real_root="$(realpath "$root")"
{
  grep -o '"file":"[^"]*"' "$work/trace.json" | sed -e 's/^"file":"//' -e 's/"$//' | sort -u
  realpath "$(sed -n 's/^CMAKE_CXX_COMPILER:FILEPATH=//p' "$work/build/CMakeCache.txt")"
} | grep -v -e "^$root/" -e "^$real_root/" -e "^$work/" \
  | awk '{ print ($0 ~ /(Config|-config)\.cmake$/ ? 0 : 1) "\t" $0 }' | sort -u | cut -f2- \
  > "$work/files.txt"

# Owner packages of each file, asked in one go (one dpkg call per file takes
# minutes); a path that dpkg only knows by its resolved form (through
# /lib -> /usr/lib, or an alternatives link) is asked again that way.
declare -A owners=()
ask_dpkg() {
  [ $# -gt 0 ] || return 0
  dpkg -S "$@" 2>/dev/null | grep -v '^diversion by' | sed -n 's/^\(.*\): \(\/.*\)$/\2\t\1/p' || true
}
mapfile -t files < "$work/files.txt"
while IFS=$'\t' read -r path o; do owners["$path"]="$o"; done < <(ask_dpkg "${files[@]}")
declare -A resolved=()
for f in "${files[@]}"; do
  [ -n "${owners[$f]:-}" ] || resolved["$(realpath "$f")"]="$f"
done
while IFS=$'\t' read -r path o; do
  [ -n "${resolved[$path]:-}" ] && owners["${resolved[$path]}"]="$o"
done < <(ask_dpkg "${!resolved[@]}")
unowned=()
for f in "${files[@]}"; do
  [ -n "${owners[$f]:-}" ] || unowned+=("$f")
done

# Everything the list installs: the list and its dependencies, without
# Recommends; virtual names come as <name>, some with :any or :amd64.
declare -A closure=()
while IFS= read -r p; do
  closure["$p"]=1
done < <(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
           --no-breaks --no-replaces --no-enhances "${packages[@]}" \
         | grep -v '^ ' | sed -e 's/^<//' -e 's/>$//' -e 's/:.*//' | sort -u)

declare -A missing=()
order=()
while IFS= read -r f; do
  [ -n "${owners[$f]:-}" ] || continue
  ok=""
  IFS=',' read -ra candidates <<< "${owners[$f]}"
  for c in "${candidates[@]}"; do
    c="${c# }"; c="${c%%:*}"
    [ -n "${closure[$c]:-}" ] && ok=1
  done
  if [ -z "$ok" ]; then
    c="${candidates[0]%%:*}"
    if [ -z "${missing[$c]:-}" ]; then missing["$c"]="$f"; order+=("$c"); fi
  fi
done < "$work/files.txt"

status=0
for c in "${order[@]}"; do
  echo "missing from $shown: $c (needed by ${missing[$c]})" >&2
  status=1
done
for f in "${unowned[@]}"; do
  echo "not from any Debian package: $f (read by the configure step)" >&2
  status=1
done
[ $status -eq 0 ] || exit 1

used="$(printf '%s\n' "${owners[@]}" | tr ',' '\n' | sed -e 's/^ //' -e 's/:.*//' | sort -u | wc -l)"
echo "check-packages: the $(wc -l < "$work/files.txt") files the configure step reads come from $used packages, all brought in by $shown"
