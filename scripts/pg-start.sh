#!/usr/bin/env bash
# Starts a throwaway PostgreSQL cluster for the tests: a fresh folder under the temporary
# directory, a free loopback port, trust authentication, no durability (the data is thrown
# away). Prints shell `export` lines (also kept in $ZUL_TEST_PG_DIR/env) so a caller can
#   eval "$(scripts/pg-start.sh)"
# and scripts/pg-stop.sh ends it. As root the server runs as the `postgres` user.
set -euo pipefail
bindir=${ZUL_PG_BINDIR:-/usr/lib/postgresql/15/bin}
if [ ! -x "$bindir/initdb" ]; then
    echo "pg-start: no PostgreSQL server binaries in $bindir" >&2
    exit 1
fi

as_owner=()
dir=$(mktemp -d "${TMPDIR:-/tmp}/zul-pg.XXXXXX")
if [ "$(id -u)" -eq 0 ]; then
    id postgres >/dev/null 2>&1 || useradd --system --no-create-home postgres
    chown postgres "$dir"
    chmod 700 "$dir"
    as_owner=(runuser -u postgres --)
fi

# A port nobody listens on; the range keeps clear of the usual service ports.
port=""
for _ in $(seq 1 50); do
    candidate=$((20000 + RANDOM % 40000))
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$candidate") 2>/dev/null; then
        port=$candidate
        break
    fi
done
[ -n "$port" ] || { echo "pg-start: no free port found" >&2; exit 1; }

"${as_owner[@]}" "$bindir/initdb" -D "$dir/data" -U postgres -A trust -E UTF8 --no-sync \
    --locale=C >"$dir/initdb.log" 2>&1 || { cat "$dir/initdb.log" >&2; exit 1; }
"${as_owner[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
"${as_owner[@]}" "$bindir/createdb" -h 127.0.0.1 -p "$port" -U postgres zul_test

{
    echo "export ZUL_TEST_PG_DIR=$dir"
    echo "export ZUL_TEST_PG_HOST=127.0.0.1"
    echo "export ZUL_TEST_PG_PORT=$port"
    echo "export ZUL_TEST_PG_USER=postgres"
    echo "export ZUL_TEST_PG_DB=zul_test"
    # The ODBC tests reach the same server through the psqlODBC driver when it is registered.
    if command -v odbcinst >/dev/null && odbcinst -q -d 2>/dev/null | grep -q '^\[PostgreSQL Unicode\]'; then
        echo "export ZUL_TEST_ODBC_DRIVER='PostgreSQL Unicode'"
    fi
} >"$dir/env"
cat "$dir/env"
