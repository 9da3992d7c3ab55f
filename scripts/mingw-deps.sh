#!/usr/bin/env bash
# Builds what the Windows cross build of the whole program needs and Debian does not ship for
# MinGW-w64: qtbase 6.4.2 (Core, Gui, Widgets, Network, Sql with ODBC and SQLite, the windows and
# offscreen platform plugins), SQLite and Crypto++. Debian's own sources of the same versions as the
# installed Linux packages are fetched with a temporary apt configuration of this script's own (the
# system's sources and lists are left alone) and installed into a versioned folder outside the work
# tree:
#
#   ${ZUL_MINGW_ROOT:-/var/cache/zul-mingw}/qt<version>-<hash of versions and configuration>/
#
# A later run reuses that folder only when its stamp holds the same versions and configuration and
# the files the build needs are there. A build that was cut short (a CI run ended, the machine went
# down) resumes from its last finished stage: the work folder's name carries the same hash, and each
# stage leaves a mark there only once it has finished.
#
# Usage: mingw-deps.sh [--print-prefix | --check]
#   (none)          build or reuse, then print the folder on the last line of standard output
#   --print-prefix  print the folder this configuration uses, build nothing
#   --check         exit 0 when the folder is complete and current, 1 otherwise
# Environment: ZUL_MINGW_ROOT (parent folder), ZUL_MINGW_JOBS (parallel jobs, default: all cores).
set -euo pipefail

root=${ZUL_MINGW_ROOT:-/var/cache/zul-mingw}
jobs=${ZUL_MINGW_JOBS:-$(nproc)}
triplet=x86_64-w64-mingw32
cc=$triplet-gcc-posix
cxx=$triplet-g++-posix

die() { echo "mingw-deps: $*" >&2; exit 1; }

# The source versions follow the installed Linux packages: the Linux Qt serves as host tools for
# the cross build and must be the same version.
srcver() {
    dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null || die "$1 is not installed (scripts/setup.sh)"
}
qt_ver=$(srcver qt6-base-dev)
sqlite_ver=$(srcver libsqlite3-0)
cryptopp_ver=$(srcver libcrypto++-dev)
gcc_ver=$($cxx -dumpversion 2>/dev/null) || die "$cxx missing (scripts/setup.sh)"
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")

# qtbase configuration. OpenGL off alone leaves dynamic GL on and the windows plugin fails to
# build; Debian removed the wintab sources (tablet events) and the bundled SQLite (the system
# SQLite built below stands in). FreeType and the other small libraries come bundled.
qt_options=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DINPUT_opengl=no
    -DFEATURE_opengl=OFF
    -DFEATURE_dynamicgl=OFF
    -DFEATURE_tabletevent=OFF
    -DFEATURE_vulkan=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_testlib=OFF
    -DFEATURE_concurrent=OFF
    -DFEATURE_sql=ON
    -DFEATURE_sql_sqlite=ON
    -DFEATURE_system_sqlite=ON
    -DFEATURE_sql_odbc=ON
    -DFEATURE_sql_psql=OFF
    -DFEATURE_sql_mysql=OFF
    -DFEATURE_sql_ibase=OFF
    -DFEATURE_sql_oci=OFF
    -DFEATURE_sql_db2=OFF
    -DFEATURE_openssl=OFF
    -DFEATURE_icu=OFF
    -DFEATURE_glib=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_jpeg=OFF
    -DFEATURE_gif=OFF
    -DFEATURE_freetype=ON
    -DFEATURE_fontconfig=OFF
    -DFEATURE_direct2d=OFF
    -DFEATURE_directwrite=OFF
    -DFEATURE_directwrite3=OFF
    # What the program does not use, left out to shorten the build (Qt's longest part).
    -DFEATURE_ssl=OFF
    -DFEATURE_http=OFF
    -DFEATURE_networkdiskcache=OFF
    -DFEATURE_dnslookup=OFF
    -DFEATURE_networkinformation=OFF
    -DFEATURE_sctp=OFF
    -DFEATURE_graphicsview=OFF
    -DFEATURE_filedialog=OFF
    -DFEATURE_fontdialog=OFF
    -DFEATURE_colordialog=OFF
    -DFEATURE_wizard=OFF
    -DFEATURE_mdiarea=OFF
    -DFEATURE_calendarwidget=OFF
    -DFEATURE_textodfwriter=OFF
    -DFEATURE_textmarkdownreader=OFF
    -DFEATURE_textmarkdownwriter=OFF
    -DFEATURE_pdf=OFF
    -DFEATURE_movie=OFF
    -DFEATURE_imageformat_ppm=OFF
    -DFEATURE_imageformat_xbm=OFF
    -DFEATURE_imageformat_xpm=ON
    -DFEATURE_draganddrop=OFF
    # Lighter optimisation: compiles markedly faster; nothing the program does is bound by it.
    "-DCMAKE_C_FLAGS_RELEASE=-O1 -DNDEBUG"
    "-DCMAKE_CXX_FLAGS_RELEASE=-O1 -DNDEBUG"
)
sqlite_cflags="-O2 -DNDEBUG -DSQLITE_THREADSAFE=1 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_DEFAULT_FOREIGN_KEYS=0"
cryptopp_cxxflags="-O2 -DNDEBUG"

config="layout=2
suite=$suite
gcc=$gcc_ver
qt6-base=$qt_ver
sqlite3=$sqlite_ver
libcrypto++=$cryptopp_ver
qt=${qt_options[*]}
sqlite=$sqlite_cflags
cryptopp=$cryptopp_cxxflags"
hash=$(printf '%s' "$config" | sha256sum | cut -c1-12)
qt_upstream=${qt_ver%%+*}
prefix=$root/qt$qt_upstream-$hash
stamp=$prefix/zul-mingw.stamp

complete() {
    [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$config" ] &&
        [ -f "$prefix/bin/Qt6Core.dll" ] && [ -f "$prefix/bin/Qt6Widgets.dll" ] &&
        [ -f "$prefix/bin/Qt6Sql.dll" ] && [ -f "$prefix/bin/Qt6Network.dll" ] &&
        [ -f "$prefix/plugins/sqldrivers/qsqlite.dll" ] && [ -f "$prefix/plugins/sqldrivers/qsqlodbc.dll" ] &&
        [ -f "$prefix/plugins/platforms/qwindows.dll" ] && [ -f "$prefix/plugins/platforms/qoffscreen.dll" ] &&
        [ -f "$prefix/lib/libcryptopp.a" ] && [ -f "$prefix/lib/pkgconfig/libcrypto++.pc" ] &&
        [ -f "$prefix/bin/libstdc++-6.dll" ] && [ -f "$prefix/lib/cmake/Qt6/Qt6Config.cmake" ]
}

case "${1:-}" in
    --print-prefix) echo "$prefix"; exit 0 ;;
    --check) complete; exit ;;
    "") ;;
    *) die "usage: $0 [--print-prefix | --check]" ;;
esac

mkdir -p "$root"
exec 9>"$root/.lock"
flock 9
if complete; then
    echo "mingw-deps: reusing $prefix" >&2
    echo "$prefix"
    exit 0
fi

started=$(date +%s)
stage() { echo "mingw-deps: $1 ($(($(date +%s) - started)) s)" >&2; }
work=$root/work-$hash
# done_stage NAME: NAME finished in an earlier run. finish_stage NAME: mark it finished.
done_stage() { [ -f "$work/.done-$1" ]; }
finish_stage() { touch "$work/.done-$1"; }
if done_stage sources; then
    echo "mingw-deps: resuming the build cut short in $work" >&2
else
    rm -rf "$prefix" "$work"
fi
mkdir -p "$work/apt/parts" "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/src"

# --- sources, with an apt configuration of our own -------------------------------------------
if ! done_stage sources; then
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
{
    echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian $suite main"
    echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian $suite-updates main"
    echo "deb-src [signed-by=$keyring] http://deb.debian.org/debian-security $suite-security main"
} >"$work/apt/sources.list"
apt_opts=(
    -o "Dir::Etc::sourcelist=$work/apt/sources.list"
    -o "Dir::Etc::sourceparts=$work/apt/parts"
    -o "Dir::State::Lists=$work/apt/lists"
    -o "Dir::Cache=$work/apt/cache"
    -o "APT::Sandbox::User=root"
)
echo "mingw-deps: fetching qt6-base $qt_ver, sqlite3 $sqlite_ver, libcrypto++ $cryptopp_ver" >&2
apt-get "${apt_opts[@]}" -q update >&2
(cd "$work/src" && apt-get "${apt_opts[@]}" -q source --download-only \
    "qt6-base=$qt_ver" "sqlite3=$sqlite_ver" "libcrypto++=$cryptopp_ver" >&2)
for dsc in "$work"/src/*.dsc; do
    name=$(basename "$dsc" .dsc)
    (cd "$work/src" && dpkg-source --no-check -q -x "$dsc" "$work/src/${name%%_*}" >&2)
done
# QApplication::notify of 6.4.2 closes a case block after the end of its drag-and-drop
# condition, so QtWidgets does not compile without drag and drop (which the manager never uses).
perl -0pi -e 's/(            break;\n)#endif\n        \}\n(        case QEvent::TouchBegin:)/$1        }\n#endif\n$2/ or die "the drag-and-drop block of QApplication::notify has changed\n"' \
    "$work/src/qt6-base/src/widgets/kernel/qapplication.cpp"
finish_stage sources
fi

mkdir -p "$prefix/bin" "$prefix/lib/pkgconfig" "$prefix/include"

# --- SQLite: the amalgamation made with the host tools, compiled for MinGW -------------------
if ! done_stage sqlite; then
stage "SQLite"
mkdir -p "$work/sqlite-host"
(cd "$work/sqlite-host" && "$work/src/sqlite3/configure" --disable-tcl --disable-readline -q >&2 &&
    make -s sqlite3.c sqlite3.h >&2)
(cd "$work/sqlite-host" &&
    $cc $sqlite_cflags -c sqlite3.c -o sqlite3.o &&
    $triplet-ar rcs "$prefix/lib/libsqlite3.a" sqlite3.o &&
    cp sqlite3.h "$prefix/include/")
cp "$work/sqlite-host/sqlite3ext.h" "$prefix/include/" 2>/dev/null ||
    cp "$work/src/sqlite3/src/sqlite3ext.h" "$prefix/include/"
finish_stage sqlite
fi

# --- qtbase ----------------------------------------------------------------------------------
if ! done_stage qt-configure; then
stage "qtbase configuration"
cat >"$work/toolchain.cmake" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $cc)
set(CMAKE_CXX_COMPILER $cxx)
set(CMAKE_RC_COMPILER $triplet-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$triplet $prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
EOF
# The compiler cache, when there is one, makes a rebuild after a change of options cheap.
launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -G Ninja -S "$work/src/qt6-base" -B "$work/qt-build" \
    -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" "${launcher[@]}" \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DSQLite3_INCLUDE_DIR="$prefix/include" -DSQLite3_LIBRARY="$prefix/lib/libsqlite3.a" \
    "${qt_options[@]}" >"$work/qt-configure.log" 2>&1 ||
    { tail -60 "$work/qt-configure.log" >&2; die "qtbase configuration failed ($work/qt-configure.log)"; }
finish_stage qt-configure
fi

# --- Crypto++ (static library) ---------------------------------------------------------------
if ! done_stage cryptopp; then
stage "Crypto++"
make -s -C "$work/src/libcrypto++" -f GNUmakefile -j"$jobs" static \
    CXX="$cxx" AR="$triplet-ar" RANLIB="$triplet-ranlib" CXXFLAGS="$cryptopp_cxxflags" >&2
mkdir -p "$prefix/include/cryptopp"
cp "$work"/src/libcrypto++/*.h "$prefix/include/cryptopp/"
# Debian's makefile names the archive libcrypto++.a, upstream's libcryptopp.a.
for archive in libcrypto++.a libcryptopp.a; do
    if [ -f "$work/src/libcrypto++/$archive" ]; then
        cp "$work/src/libcrypto++/$archive" "$prefix/lib/libcryptopp.a"
        break
    fi
done
cat >"$prefix/lib/pkgconfig/libcrypto++.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: Crypto++
Description: Crypto++ (static, MinGW-w64)
Version: ${cryptopp_ver%%+*}
Cflags: -I\${includedir}
Libs: -L\${libdir} -lcryptopp -lbcrypt -ladvapi32 -lws2_32
EOF
finish_stage cryptopp
fi

stage "qtbase build (the long part)"
# Ninja carries on from where a build cut short stopped.
cmake --build "$work/qt-build" -j"$jobs" >>"$work/qt-build.log" 2>&1 ||
    { tail -60 "$work/qt-build.log" >&2; die "qtbase build failed ($work/qt-build.log)"; }
cmake --install "$work/qt-build" >"$work/qt-install.log" 2>&1 ||
    { tail -30 "$work/qt-install.log" >&2; die "qtbase install failed"; }

# The C++ runtime the DLLs above were linked against; shipped next to every executable.
gcclib=$(dirname "$($cxx -print-libgcc-file-name)")
cp "$gcclib/libstdc++-6.dll" "$gcclib/libgcc_s_seh-1.dll" "$prefix/bin/"
cp "$($cxx -print-file-name=libwinpthread-1.dll)" "$prefix/bin/" 2>/dev/null ||
    cp /usr/$triplet/lib/libwinpthread-1.dll "$prefix/bin/"

printf '%s' "$config" >"$stamp"
complete || die "the build finished but $prefix is incomplete"
rm -rf "$work"
echo "mingw-deps: built $prefix in $(($(date +%s) - started)) s" >&2
echo "$prefix"
