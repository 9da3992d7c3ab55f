#!/usr/bin/env bash
# Builds the benchmarks, runs the ones with goals and prints one table: figure, goal, measured,
# met or not. Long (the identification bench alone taps 200 cards, and generates its database
# of 10 million rows once, into ~/.cache/zul-bench); CI does not run it.
#
#   scripts/bench.sh                 everything
#   scripts/bench.sh --quick         small sizes, a smoke run of the machinery (goals not meaningful)
#
# With a PostgreSQL server of scripts/pg-start.sh exported (ZUL_TEST_PG_*), the identification
# bench runs on it too.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
[ "${1:-}" = "--quick" ] && quick=1

build=${ZUL_BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake --preset ci >/dev/null
cmake --build "$build" -j"${ZUL_JOBS:-2}" --target zul_template_sync_bench zul_notification_ingest_bench \
    zul_release_latency_bench zul_memory_bench >&2

out=$(mktemp -d "${TMPDIR:-/tmp}/zul-bench.XXXXXX")
trap 'rm -rf "$out"' EXIT
export QT_QPA_PLATFORM=offscreen

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)" >&2
if [ "$quick" -eq 1 ]; then
    sync_filter='BM_SynchroniseTemplates/controller:[0-2]/people:10000'
    release_args=(--identifications 5 --people 1000 --movements 20000)
    memory_args=(--passes 20000)
else
    sync_filter='BM_SynchroniseTemplates'
    release_args=()
    memory_args=()
fi
"$build/bin/zul_template_sync_bench" --benchmark_filter="$sync_filter" \
    --benchmark_out="$out/sync.json" --benchmark_out_format=json >&2
"$build/bin/zul_notification_ingest_bench" --benchmark_filter=BM_HundredClientsTenThousand \
    --benchmark_out="$out/notify.json" --benchmark_out_format=json >&2
"$build/bin/zul_release_latency_bench" "${release_args[@]}" >"$out/release-sqlite.txt"
if [ -n "${ZUL_TEST_PG_PORT:-}" ]; then
    "$build/bin/zul_release_latency_bench" --postgresql "${release_args[@]}" >"$out/release-pg.txt"
fi
"$build/bin/zul_memory_bench" "${memory_args[@]}" >"$out/memory.txt"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)" >&2

python3 - "$out" "$quick" <<'EOF'
import json, os, sys
out, quick = sys.argv[1], sys.argv[2] == "1"
rows = []

def row(name, goal, value, met, unit=""):
    rows.append((name, goal, f"{value:.3f}{unit}" if isinstance(value, float) else str(value),
                 "-" if met is None else "met" if met else "NOT MET"))

def figures(path):
    found = {}
    if os.path.exists(path):
        for line in open(path):
            parts = line.split()
            if len(parts) == 3 and parts[0] == "figure":
                found[parts[1]] = float(parts[2])
    return found

sync = {}
for b in json.load(open(f"{out}/sync.json"))["benchmarks"]:
    sync[(b["label"], int(b["people"]))] = b
big = 10000 if quick else 50000
for label, goal in (("in step", 0.5), ("empty", 2.0), ("stale users", 2.0)):
    b = sync.get((label, big))
    if not b:
        continue
    row(f"sync {label} {big}: manager CPU s", f"< {goal}", b["manager_cpu_s"], b["manager_cpu_s"] < goal)
    row(f"sync {label} {big}: manager + stand-in library CPU s", "-", b["manager_and_library_cpu_s"], None)
    small = sync.get((label, 10000))
    if small and big != 10000:
        ratio = b["manager_cpu_s"] / small["manager_cpu_s"]
        row(f"sync {label}: manager CPU 50k/10k", "5 +/- 20 %", ratio, 4.0 <= ratio <= 6.0)
b = sync.get(("in step", big))
if b:
    row(f"sync in step {big}: offline s (list transfer {b['list_transfer_s']:.0f} s)",
        "transfer + < 1 s", b["offline_s"], b["beyond_transfer_s"] < 1.0)

n = json.load(open(f"{out}/notify.json"))["benchmarks"][0]
row("10 000 notifications, 100 clients: server CPU ms", "< 100", n["server_cpu_ms"], n["server_cpu_ms"] < 100)

for name, path in (("SQLite", "release-sqlite.txt"), ("PostgreSQL", "release-pg.txt")):
    f = figures(f"{out}/{path}")
    if not f:
        continue
    count = int(f["identifications"])
    row(f"{name}: hand-over -> release median ms ({count} ids)", "<= 204", f["handover_to_release_median_ms"],
        f["handover_to_release_median_ms"] <= 204)
    row(f"{name}: hand-over -> release p99 ms", "<= 220", f["handover_to_release_p99_ms"],
        f["handover_to_release_p99_ms"] <= 220)
    row(f"{name}: tap -> release median ms (for reference)", "-", f["tap_to_release_median_ms"], None)

m = figures(f"{out}/memory.txt")
if m:
    row("manager idle RSS MB (headless)", "< 60", m["idle_rss_mb"], m["idle_rss_mb"] < 60)
    row(f"RSS growth MB over {int(m['passes'])} loop passes", "< 1", m["growth_mb"], m["growth_mb"] < 1)

width = max(len(r[0]) for r in rows)
print(f"{'figure':<{width}} | {'goal':<16} | {'measured':>10} | result")
print(f"{'-' * width}-|-{'-' * 16}-|-{'-' * 10}-|-------")
for name, goal, value, met in rows:
    print(f"{name:<{width}} | {goal:<16} | {value:>10} | {met}")
for path in ("release-sqlite.txt", "release-pg.txt"):
    full = f"{out}/{path}"
    if os.path.exists(full):
        plans = [l.rstrip() for l in open(full) if l.startswith("plan") or l.startswith("    ")]
        if plans:
            print()
            print("\n".join(plans))
EOF
