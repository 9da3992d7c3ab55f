#!/usr/bin/env bash
# The main job, start to end, on a fresh machine: installs what is missing, builds, starts the
# turnstile simulator, a SQLite database with demonstration people and the manager, then walks
# a short scenario you can watch (an entry, an exit, an unknown card, a person whose badge name
# cannot be shown), prints the passages recorded and the end of the activity log, and stops
# everything it started.
#
#   scripts/demo.sh            # window where a screen exists, headless otherwise
#   ZUL_DEMO_HEADLESS=1 scripts/demo.sh
#   ZUL_DEMO_DIR=/tmp/zul-demo scripts/demo.sh
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }
say() { printf '   %s\n' "$*"; }

step "Setting up and building"
scripts/setup.sh demo
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)" --target zul zul-admin catraca-sim EasyInner

bin=$top/build/bin
work=${ZUL_DEMO_DIR:-$top/build/demo}
rm -rf "$work"
mkdir -p "$work"
db=$work/zul.db
registry=$work/registry.reg
logdir=$work/logCatraca
socket_out=$work/socket.txt

sim_pid=""
zul_pid=""
reader_pid=""
cleanup() {
    set +e
    exec 3<&- 3>&- 2>/dev/null
    # SIGTERM is the manager's stop request: it ends its online loop and logs its end.
    [ -n "$zul_pid" ] && kill -TERM "$zul_pid" 2>/dev/null && wait "$zul_pid" 2>/dev/null
    [ -n "$reader_pid" ] && kill "$reader_pid" 2>/dev/null && wait "$reader_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
}
trap cleanup EXIT

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local seconds=$1
    shift
    for ((i = 0; i < seconds * 10; i++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    echo "demo: timed out waiting for: $*" >&2
    return 1
}

step "Database: $db"
"$bin/zul-admin" db init --sqlite "$db" --demo
"$bin/zul-admin" --registry "$registry" profile set 211 --database SQLITE --connect "Data Source=$db"
# The manager's own choice of profile, so that its first start asks nobody.
"$bin/zul-admin" --registry "$registry" profile use 211
say "people: 0000000005 PEDRO HENRIQUE LIM (last went out), 0000000003 ANA BEATRIZ CARVALHO"
say "(last went in), 0000000004 MAXIMILIANOALBUQUERQ (badge name too long to show)"

step "Turnstile simulator"
sim_args=(--port 0 --state "$work/controller-users.state")
"$bin/catraca-sim" "${sim_args[@]}" >"$work/simulator.txt" 2>&1 &
sim_pid=$!
wait_for 10 grep -q "device port" "$work/simulator.txt"
read -r device_port control_port < <(sed -nE '1s/.*device port ([0-9]+), control port ([0-9]+).*/\1 \2/p' "$work/simulator.txt")
say "device port $device_port, control port $control_port"
ctl() { "$bin/catraca-sim" ctl --control-port "$control_port" "$@"; }
# The stand-in library opens the simulator where the program opens TCP/IP port 3570.
export ZUL_SIM_TCP_3570=127.0.0.1:$device_port

step "Manager"
zul_args=(--registry "$registry" --log-dir "$logdir")
if [ -n "${ZUL_DEMO_HEADLESS:-}" ] || [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    zul_args+=(--headless)
    export QT_QPA_PLATFORM=offscreen
    say "headless (no screen): everything it would show goes to the activity log"
else
    say "window: it starts minimized, in the notification area where there is one (double-click the icon)"
fi
"$bin/zul" "${zul_args[@]}" >"$work/zul.txt" 2>&1 &
zul_pid=$!
configurations() { ctl state | sed -nE 's/.*configurations received ([0-9]+).*/\1/p'; }
online() { [ "$(configurations)" -gt "${1:-0}" ]; }
say "waiting for the database, then the link (about two seconds)..."
wait_for 30 online
ctl display

# A client of the notification socket: it hears every passage announced.
wait_for 10 bash -c 'exec 3<>/dev/tcp/127.0.0.1/10622'
exec 3<>/dev/tcp/127.0.0.1/10622
cat <&3 >"$socket_out" &
reader_pid=$!
heard() { grep -qF "$1" "$socket_out"; }
released() { ctl arm | grep -q released; }
locked() { ctl arm | grep -q locked; }
display() { ctl display | sed 's/^/   /'; }

step "1. Entry: card 0000000005"
ctl card 0000000005
wait_for 15 released
ctl arm | sed 's/^/   arm: /'
display
say "the person walks through"
ctl rotate
wait_for 15 heard "[ENT]0000000005"
say "socket client heard: [ENT]0000000005"

step "2. Exit: card 0000000003"
wait_for 15 locked
ctl card 0000000003
wait_for 15 released
ctl arm | sed 's/^/   arm: /'
display
ctl rotate
wait_for 15 heard "[SAI]0000000003"
say "socket client heard: [SAI]0000000003"

step "3. Unknown card 0000009999"
sleep 2
ctl card 0000009999
sleep 1
display
ctl arm | sed 's/^/   arm: /'
say "nobody is let through"

step "4. Badge name that cannot be shown: card 0000000004"
sleep 5
before=$(configurations)
ctl card 0000000004
sleep 1
display
say "the manager restarts its connection to the turnstile..."
wait_for 30 online "$before"
sleep 1
say "...and is back online:"
display

step "Passages recorded today (REGISCATRACA)"
today=$(date +%Y-%m-%d)
if command -v sqlite3 >/dev/null; then
    sqlite3 -header -column "$db" \
        "SELECT NRPESSOA, IDREGISCATRACA, DTREGISCATRACA FROM REGISCATRACA
         WHERE DTREGISCATRACA >= '$today' ORDER BY DTREGISCATRACA;"
else
    echo "(sqlite3 not installed)"
fi

step "Socket client transcript"
sed 's/\[/\n[/g' "$socket_out" | sed '/^$/d; s/^/   /'
echo

step "End of the activity log ($logdir)"
cleanup
zul_pid=""
sim_pid=""
reader_pid=""
iconv -f WINDOWS-1252 -t UTF-8 "$logdir"/logCatraca*.txt | tail -n 40
echo
echo "demo: files are in $work"
