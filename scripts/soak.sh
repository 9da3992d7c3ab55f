#!/usr/bin/env bash
# A long run of the access-loop system test: the simulator, the manager and a SQLite database as
# real processes, people walking through while the manager is killed (once per cycle), the
# database is locked, the controller goes silent and cards are tapped at awkward moments.
# Afterwards the simulator's own record of releases and rotations is held against the passage
# log, the journal and what a socket client heard. Prints the seed and one table of figures; when
# a fault is found the run's files are kept and their folder is named.
#
#   scripts/soak.sh [CYCLES [SEED]]    # default: 200 cycles (about half an hour), a new seed
#   scripts/soak.sh 50 1234            # repeats the run of seed 1234 with 50 cycles
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

cycles=${1:-200}
seed=${2:-}
case $cycles in '' | *[!0-9]*) echo "usage: scripts/soak.sh [CYCLES [SEED]]" >&2; exit 2 ;; esac

[ -f build/CMakeCache.txt ] || cmake --preset default >/dev/null
cmake --build build -j"$(nproc)" --target zul_system_tests

export QT_QPA_PLATFORM=offscreen
export ZUL_SYSTEM_CYCLES=$cycles
if [ -n "$seed" ]; then export ZUL_SYSTEM_SEED=$seed; fi
exec build/bin/zul_system_tests --gtest_filter='AccessLoopSystem.*'
