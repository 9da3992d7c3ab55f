#!/usr/bin/env bash
# Builds the Debian packages of a Linux build folder (default build/) and checks them without
# installing anything on this machine: what each package holds and what it must not hold, the
# maintainer scripts, the unit file (systemd-analyze verify, any remark fails), the packaged
# program run from a throwaway root, and, as root, the package installed with apt into a
# throwaway Debian root of this machine's release and purged again.
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

# Installed as a site installs it: `apt-get install ./zul_*.deb` inside a throwaway Debian root
# of this machine's release, so that the dependencies come from the archive and the maintainer
# scripts run for real (inside the root); then purged. The root is a minimal debootstrap, made
# once and kept in ZUL_DEBROOT_CACHE. Neither this machine nor the root runs systemd: the unit is
# checked above and a started service only by reading.
install_in_root() {
    local suite cache base inst
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    cache=${ZUL_DEBROOT_CACHE:-/var/cache/zul-debroot}
    base=$cache/$suite-minbase.tar
    if [ ! -s "$base" ]; then
        mkdir -p "$cache"
        rm -rf "$cache/make"
        if ! debootstrap --variant=minbase "$suite" "$cache/make" http://deb.debian.org/debian \
            >"$cache/debootstrap.log" 2>&1; then
            tail -20 "$cache/debootstrap.log" >&2
            fail "debootstrap of a $suite root failed ($cache/debootstrap.log)"
            return
        fi
        tar -C "$cache/make" -cf "$base.part" . && mv "$base.part" "$base"
        rm -rf "$cache/make"
    fi
    inst=$root/installed
    mkdir -p "$inst"
    tar -C "$inst" -xf "$base"
    {
        echo "deb http://deb.debian.org/debian $suite main"
        echo "deb http://deb.debian.org/debian $suite-updates main"
        echo "deb http://deb.debian.org/debian-security $suite-security main"
    } >"$inst/etc/apt/sources.list"
    cp /etc/resolv.conf "$inst/etc/resolv.conf"
    cp "$manager" "$inst/tmp/"
    # The root's apt is told what this machine's apt is told about the archive: a proxy, and
    # whether an old Release file may be used (a mirror frozen at a snapshot).
    {
        apt-config dump | grep -E '^Acquire::(http|https)::Proxy |^Acquire::Check-Valid-Until ' || true
    } >"$inst/etc/apt/apt.conf.d/90zul-host"
    in_root() {
        chroot "$inst" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
            DEBIAN_FRONTEND=noninteractive ${http_proxy:+http_proxy=$http_proxy} \
            ${https_proxy:+https_proxy=$https_proxy} "$@"
    }
    local log=$root/install.log
    if ! in_root apt-get update -q >"$log" 2>&1 ||
        ! in_root apt-get install -y -q --no-install-recommends "/tmp/$(basename "$manager")" >>"$log" 2>&1; then
        tail -30 "$log" >&2
        fail "apt-get install of $(basename "$manager") failed in a $suite root"
        return
    fi
    in_root getent passwd zul | grep -q ':/var/lib/zul:/usr/sbin/nologin$' ||
        fail "installed: no zul system user"
    local owner
    for dir in /var/lib/zul /var/log/zul; do
        owner=$(in_root stat -c '%U:%G %a' "$dir" 2>&1)
        [ "$owner" = "zul:zul 750" ] || fail "installed: $dir is $owner, not zul:zul 750"
    done
    [ -d "$inst/usr/local/lib/zul" ] || fail "installed: no /usr/local/lib/zul for the vendor library"
    in_root runuser -u zul -- /usr/bin/zul --version >/dev/null 2>&1 ||
        fail "installed: zul does not run as the zul user"
    in_root runuser -u zul -- /usr/bin/zul-admin --help >/dev/null 2>&1 ||
        fail "installed: zul-admin does not run as the zul user"
    if ! in_root apt-get purge -y -q zul >>"$log" 2>&1; then
        tail -20 "$log" >&2
        fail "apt-get purge zul failed"
        return
    fi
    for path in /usr/bin/zul /var/lib/zul /var/log/zul; do
        [ ! -e "$inst$path" ] || fail "purged: $path is still there"
    done
    in_root getent passwd zul >/dev/null || fail "purged: the zul user went too (it stays)"
    if [ $status -eq 0 ]; then
        echo "check-deb: installed with apt into a $suite root, ran as the zul user, purged"
    fi
}
if [ "$(id -u)" -eq 0 ]; then
    install_in_root
else
    echo "check-deb: not root, so the package is not installed into a throwaway root"
fi

[ $status -eq 0 ] && echo "check-deb: $(basename "$manager") $(basename "$simulator") ok"
exit $status
