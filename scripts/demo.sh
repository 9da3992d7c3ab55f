#!/usr/bin/env bash
# Sets up a fresh machine, builds the manager and runs its main job.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j"$(nproc)"

work=${ZUL_DEMO_DIR:-$top/build/demo}
mkdir -p "$work"
args=(--registry "$work/registry.reg" --log-dir "$work/logCatraca")
if [ -z "${DISPLAY:-}" ]; then
    args+=(--headless)
    export QT_QPA_PLATFORM=offscreen
fi
echo "demo: registry $work/registry.reg, log $work/logCatraca"
exec build/bin/zul "${args[@]}" "$@"
