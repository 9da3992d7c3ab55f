#!/usr/bin/env bash
# Builds the Debian packages of a Linux build folder (default build/) and checks them without
# installing anything on this machine: what each package holds and what it must not hold, the
# maintainer scripts, the unit file (systemd-analyze verify, any remark fails), and the
# packaged program run from a throwaway root.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
manager=$(ls "$build"/packages/zul_*.deb)
simulator=$(ls "$build"/packages/zul-sim_*.deb)

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
status=0
fail() { echo "check-deb: $*" >&2; status=1; }

contents() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's#^\./#/#'; }
for path in /usr/bin/zul /usr/bin/zul-admin /usr/lib/systemd/system/zul.service \
    /usr/share/zul/sql/sqlite.sql /usr/share/zul/sql/postgresql.sql; do
    contents "$manager" | grep -qx "$path" || fail "zul lacks $path"
done
# The stand-in library and the simulator are only in zul-sim, and never where the manager
# looks for the vendor library.
contents "$manager" | grep -q 'EasyInner\|catraca-sim' && fail "zul holds the stand-in library or the simulator"
contents "$simulator" | grep -q '/usr/local/lib/zul/' && fail "zul-sim installs where the manager looks"
contents "$simulator" | grep -q '/zul-sim/libEasyInner.so$' || fail "zul-sim lacks the stand-in library"
contents "$simulator" | grep -qx '/usr/bin/catraca-sim' || fail "zul-sim lacks the simulator"

# Maintainer scripts: present, executable, valid shell.
dpkg-deb -e "$manager" "$root/DEBIAN"
for script in postinst prerm postrm; do
    [ -x "$root/DEBIAN/$script" ] || fail "zul lacks an executable $script"
    sh -n "$root/DEBIAN/$script" || fail "$script is not valid shell"
done
grep -q 'useradd --system' "$root/DEBIAN/postinst" || fail "postinst does not create the zul user"

dpkg -x "$manager" "$root"
dpkg -x "$simulator" "$root"

# The unit as installed, its program found in the throwaway root.
mkdir -p "$root/verify"
sed "s#^ExecStart=/usr/bin/zul#ExecStart=$root/usr/bin/zul#" "$root/usr/lib/systemd/system/zul.service" \
    >"$root/verify/zul.service"
remarks=$(systemd-analyze verify "$root/verify/zul.service" 2>&1) || fail "systemd-analyze verify failed"
[ -z "$remarks" ] || fail "systemd-analyze verify: $remarks"
grep -qx 'Type=notify' "$root/verify/zul.service" || fail "the unit is not Type=notify"
grep -q '^WatchdogSec=' "$root/verify/zul.service" || fail "the unit asks for no keep-alive"

"$root/usr/bin/zul" --version >/dev/null || fail "the packaged zul does not run"
"$root/usr/bin/zul-admin" --help >/dev/null 2>&1 || fail "the packaged zul-admin does not run"

[ $status -eq 0 ] && echo "check-deb: $(basename "$manager") $(basename "$simulator") ok"
exit $status
