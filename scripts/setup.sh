#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are missing: all of them, or with
# `demo` only those the demonstration needs (marked "demo" in the list). A no-op when all are
# present; needs root (or sudo) only when something must be installed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
case "${1:-all}" in
    all) mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$here/packages.txt" | awk '{ print $1 }') ;;
    demo) mapfile -t wanted < <(grep -vE '^\s*(#|$)' "$here/packages.txt" | awk '$2 == "demo" { print $1 }') ;;
    *) echo "usage: $0 [all|demo]" >&2; exit 2 ;;
esac
missing=()
for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
