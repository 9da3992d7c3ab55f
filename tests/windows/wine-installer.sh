#!/usr/bin/env bash
# The Windows installer under Wine: a silent install (/S) into a folder of the test's own puts
# the programs, Qt's DLLs and plugins and the SQL scripts there; the installed programs run from
# that folder alone; the silent uninstall removes them again.
#
# Usage: wine-installer.sh WINE_RUN INSTALLER   (exit 77: skipped)
set -euo pipefail
run=$1
installer=$2
[ -f "$installer" ] || { echo "no installer at $installer (target zul_installer): skipped"; exit 77; }
fail() { echo "FAILED: $*"; exit 1; }

# The Wine prefix's C: drive, where the test installs.
"$run" cmd /c exit >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c
folder=zul-installer-test
target=$drive_c/$folder
rm -rf "$target"

echo "== silent install into C:\\$folder"
"$run" "$installer" /S "/D=C:\\$folder" || fail "the installer answered $?"
for file in zul.exe zul-admin.exe Desinstalar.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Network.dll \
    Qt6Sql.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll platforms/qwindows.dll \
    platforms/qoffscreen.dll sqldrivers/qsqlite.dll sqldrivers/qsqlodbc.dll sql/sqlite.sql \
    sql/postgresql.sql sql/sqlserver.sql sql/oracle.sql; do
    [ -f "$target/$file" ] || fail "$file was not installed"
done
[ ! -e "$target/EasyInner.dll" ] || fail "the stand-in device library was installed"

echo "== the installed programs run from their folder alone"
version=$("$run" "C:\\$folder\\zul.exe" --version) || fail "zul.exe --version"
echo "$version" | grep -q '^zul ' || fail "zul.exe --version answered: $version"
# zul-admin opens a SQLite database through the installed Qt plugin.
"$run" "C:\\$folder\\zul-admin.exe" db init --sqlite "C:\\$folder\\check.db" ||
    fail "zul-admin.exe db init with the installed SQLite driver"
[ -s "$target/check.db" ] || fail "no database written"
rm -f "$target/check.db"

echo "== silent uninstall"
# The uninstaller copies itself elsewhere and returns at once unless told where it runs (_?=).
"$run" "C:\\$folder\\Desinstalar.exe" /S "_?=C:\\$folder" || fail "the uninstaller answered $?"
rm -f "$target/Desinstalar.exe"
for file in zul.exe zul-admin.exe Qt6Core.dll platforms/qwindows.dll sql/sqlite.sql; do
    [ ! -e "$target/$file" ] || fail "$file was left behind"
done
rmdir "$target" 2>/dev/null || true
echo "PASSED"
