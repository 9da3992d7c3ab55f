#!/usr/bin/env bash
# Runs the libFuzzer targets of fuzz/ for a bounded time each:
#   scripts/fuzz.sh SECONDS [TARGET...]
# SECONDS is the time per target (CI uses 60; a person may start hours). Without TARGET every
# target is run. Builds the `fuzz` preset first (clang, AddressSanitizer, UBSan).
#
# Each target starts from its seed corpus in fuzz/corpus/NAME/ plus what earlier runs on this
# machine found (build-fuzz/corpus/NAME/; the repository's seeds are never written). A crash,
# sanitizer report, leak or timeout stops that target and leaves the input that caused it in
# build-fuzz/artifacts/NAME/; the script then ends with status 1. Every such input becomes a
# unit test of the code at fault before the fault is mended.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
    echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2
    exit 2
fi
seconds=$1
shift

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)"

if [ $# -gt 0 ]; then
    targets=("$@")
else
    mapfile -t targets < <(cd fuzz && ls ./*Fuzz.cpp | sed 's|^\./||; s|\.cpp$||')
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen
status=0
for t in "${targets[@]}"; do
    bin=build-fuzz/bin/$t
    if [ ! -x "$bin" ]; then
        echo "fuzz: $t is not built (is it listed in fuzz/CMakeLists.txt?)" >&2
        status=1
        continue
    fi
    work=build-fuzz/corpus/$t
    artifacts=build-fuzz/artifacts/$t
    mkdir -p "$work" "$artifacts"
    seeds=fuzz/corpus/$t
    [ -d "$seeds" ] || seeds=""
    echo "== fuzz $t for ${seconds}s"
    if "$bin" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$work" $seeds >"build-fuzz/$t.log" 2>&1; then
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "build-fuzz/$t.log" | tr '\n' ' '
        echo
    else
        echo "fuzz: $t FAILED, input kept in $artifacts/; end of its log:" >&2
        tail -n 40 "build-fuzz/$t.log" >&2
        status=1
    fi
done
exit $status
