#!/usr/bin/env bash
# One passage end to end with the Windows build under Wine: the Linux turnstile simulator, the
# Windows stand-in EasyInner.dll, zul.exe on SQLite. A card is tapped and the person walks
# through; the passage must be recorded in the database and announced on the notification
# socket, and the manager must then stop cleanly ("O programa foi finalizado normalmente").
#
# The manager runs as the Windows service when the build can install it (zul.exe -INSTALL),
# and is stopped through the service control manager; a build without the service runs it
# headless and can only end it by force (the clean stop is then reported as not checked).
#
# Usage: wine-passage.sh WINE_RUN WINDOWS_BIN LINUX_SIMULATOR   (exit 77: skipped)
set -euo pipefail
run=$1
bin=$2
sim=$3
[ -x "$sim" ] || { echo "no Linux simulator at $sim (build the Linux preset first): skipped"; exit 77; }
command -v sqlite3 >/dev/null || { echo "no sqlite3 command: skipped"; exit 77; }

work=$(mktemp -d /tmp/zul-wine-passage.XXXXXX)
sim_pid=""
zul_pid=""
reader_pid=""
service=""
failed=1
# Runs at exit under set -e: nothing in it may fail (the socket reader, for one, has usually
# ended with the manager already).
cleanup() {
    [ -n "$reader_pid" ] && { kill "$reader_pid" 2>/dev/null || true; }
    if [ -n "$service" ]; then
        "$run" net stop ZulServer >/dev/null 2>&1 || true
        "$run" "$bin/zul.exe" -UNINSTALL -SILENT >/dev/null 2>&1 || true
    fi
    [ -n "$zul_pid" ] && { kill "$zul_pid" 2>/dev/null || true; }
    [ -n "$sim_pid" ] && { kill "$sim_pid" 2>/dev/null || true; }
    wait 2>/dev/null || true
    if [ "$failed" = 1 ]; then
        echo "--- files kept in $work"
    else
        rm -rf "$work"
    fi
}
trap cleanup EXIT
win() { printf 'Z:%s' "${1//\//\\}"; }
# until SECONDS COMMAND...: runs COMMAND every half second until it succeeds or time is up.
until_ok() {
    local limit=$((SECONDS + $1))
    shift
    while ! "$@" >/dev/null 2>&1; do
        [ $SECONDS -lt $limit ] || return 1
        sleep 0.5
    done
}
fail() { echo "FAILED: $*"; exit 1; }

db=$work/zul.db
card=0000000101
echo "== database and profile 211 (zul-admin.exe)"
"$run" "$bin/zul-admin.exe" db init --sqlite "$(win "$db")" || fail "zul-admin db init"
"$run" "$bin/zul-admin.exe" profile set 211 --database SQLITE --connect "Data Source=$(win "$db")" ||
    fail "zul-admin profile set"
"$run" "$bin/zul-admin.exe" profile use 211 || fail "zul-admin profile use"
sqlite3 "$db" "INSERT INTO PESSOA (NRPESSOA, CDFUNC, CDEMPRESA, NMCRACHAPESSOA, IDACESSOCATRACA)
               VALUES ('$card', '', '', 'VISITANTE WINE', 'S');"

echo "== simulator (Linux) on the stand-in's default port"
"$sim" --port 3570 --record "$work/record.txt" >"$work/simulator.txt" 2>&1 &
sim_pid=$!
until_ok 20 grep -q 'control port' "$work/simulator.txt" || fail "the simulator did not start"
control=$(sed -nE 's/.*control port ([0-9]+).*/\1/p' "$work/simulator.txt" | head -1)
ctl() { "$sim" ctl --control-port "$control" "$@"; }
configured() { ctl state | grep -qE 'configurations received [1-9]'; }

if "$run" "$bin/zul.exe" -INSTALL -SILENT >"$work/install.txt" 2>&1 &&
    "$run" sc query ZulServer >/dev/null 2>&1; then
    service=1
    log=$bin/logCatraca
    rm -rf "$log"
    echo "== zul.exe as the service ZulServer"
    "$run" net start ZulServer || fail "net start ZulServer"
else
    log=$work/logCatraca
    echo "== zul.exe headless (this build cannot install the service: $(head -c 200 "$work/install.txt"))"
    "$run" "$bin/zul.exe" --headless --log-dir "$(win "$log")" >"$work/zul-output.txt" 2>&1 &
    zul_pid=$!
fi
until_ok 120 configured || fail "the manager did not configure the turnstile"
echo "(online)"

echo "== notification socket"
until_ok 30 bash -c "exec 3<>/dev/tcp/127.0.0.1/10622" || fail "the notification port does not answer"
exec 3<>/dev/tcp/127.0.0.1/10622
cat <&3 >"$work/socket.txt" &
reader_pid=$!

echo "== passage of $card"
ctl card "$card" >/dev/null
until_ok 30 bash -c "'$sim' ctl --control-port $control arm | grep -q '^released'" || fail "the arm was not released"
ctl rotate >/dev/null
recorded() { [ "$(sqlite3 "$db" "SELECT COUNT(*) FROM REGISCATRACA WHERE NRPESSOA = '$card'")" -ge 1 ]; }
until_ok 30 recorded || fail "the passage was not recorded"
until_ok 30 grep -q "\[ENT\]$card" "$work/socket.txt" || fail "the passage was not announced"
echo "recorded: $(sqlite3 "$db" "SELECT * FROM REGISCATRACA" | head -3)"
echo "announced: $(grep -ao "\[ENT\]$card" "$work/socket.txt" | head -1)"

echo "== stop"
stopped_cleanly() { cat "$log"/*.txt 2>/dev/null | iconv -f WINDOWS-1252 -t UTF-8 | grep -q 'O programa foi finalizado normalmente'; }
if [ -n "$service" ]; then
    "$run" net stop ZulServer || fail "net stop ZulServer"
    until_ok 30 stopped_cleanly || fail "the service stopped without its closing line"
    "$run" "$bin/zul.exe" -UNINSTALL -SILENT || fail "zul.exe -UNINSTALL"
    service=""
    rm -rf "$log"
    echo "stopped cleanly through the service control manager"
else
    kill "$zul_pid"
    wait "$zul_pid" 2>/dev/null || true
    zul_pid=""
    echo "clean stop NOT checked: without the service a Windows build has no stop request"
fi
failed=0
echo "PASSED"
