#!/usr/bin/env bash
# Stops the cluster started by scripts/pg-start.sh and removes its folder.
# Takes the folder from $ZUL_TEST_PG_DIR or as the first argument.
set -euo pipefail
bindir=${ZUL_PG_BINDIR:-/usr/lib/postgresql/15/bin}
dir=${1:-${ZUL_TEST_PG_DIR:-}}
[ -n "$dir" ] && [ -d "$dir/data" ] || { echo "pg-stop: no cluster folder given" >&2; exit 0; }
as_owner=()
[ "$(id -u)" -eq 0 ] && as_owner=(runuser -u postgres --)
"${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null || true
rm -rf "$dir"
