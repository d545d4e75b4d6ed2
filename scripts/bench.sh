#!/usr/bin/env bash
# The benchmarks: builds the release configuration (build/release) if needed, runs every
# benchmark with repetitions and prints one table of medians: each step, the floor it is held
# against, their ratio, and the targets with whether each was met.
#   scripts/bench.sh [REPETITIONS]     (default 15; the JSON is kept in BUILD/bench/)
# BUILD is build/release, or SORVEL_BENCH_BUILD to measure another build directory.
# Times are medians of CPU time: the machine is shared, and wall-clock time would count the
# moments another process held the core.
set -euo pipefail
cd "$(dirname "$0")/.."
repetitions=${1:-15}

build=${SORVEL_BENCH_BUILD:-build/release}

cmake --preset default -B "$build" >/dev/null
cmake --build "$build" -j "$(nproc)" --target sorvel_bench >/dev/null

out=$build/bench/results.json
# The window benchmark needs no display: SDL's dummy driver keeps the window in memory.
SDL_VIDEODRIVER=${SDL_VIDEODRIVER:-dummy} "$build/bench/sorvel_bench" \
  --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.05 --benchmark_enable_random_interleaving=true --benchmark_format=json --benchmark_out="$out" \
  --benchmark_out_format=json >/dev/null

python3 - "$out" "$repetitions" <<'EOF'
import json
import sys

path, repetitions = sys.argv[1], sys.argv[2]
report = json.load(open(path))
median = {}
for b in report["benchmarks"]:
    if b.get("aggregate_name") == "median":
        unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
        median[b["run_name"]] = b["cpu_time"] * unit  # microseconds
missing = [b["run_name"] for b in report["benchmarks"] if b.get("error_occurred")]

def us(name):
    return median.get(name)

def fmt(value):
    if value is None:
        return "-"
    return f"{value / 1000:.2f} ms" if value >= 1000 else f"{value:.2f} us"

gathers = {n: v for n, v in median.items() if n.startswith("floor_gather_")}
gather_name = min(gathers, key=gathers.get) if gathers else None
gather = gathers.get(gather_name)
memcpy = us("floor_memcpy")

# (step, its median, floor label, floor median, ratio label, ratio, target text, met)
rows = []

def ratio(a, b):
    return a / b if a is not None and b else None

def row(step, value, floor_label="", floor=None, ratio_value=None, target="", met=None):
    rows.append((step, fmt(value), floor_label, fmt(floor) if floor_label else "",
                 f"{ratio_value:.2f}x" if ratio_value is not None else "", target,
                 "" if met is None else ("yes" if met else "NO")))

decay = us("step_decay_and_rise")
scalar = us("step_decay_and_rise_plain_scalar")
plain = us("step_decay_and_rise_plain")
r = ratio(decay, memcpy)
row("decay_and_rise (SSE2)", decay, "memcpy 76,800 B", memcpy, r, "<= 4x memcpy",
    r is not None and r <= 4)
s = ratio(scalar, decay)
row("decay_and_rise_plain, scalar", scalar, "decay_and_rise", decay, s, ">= 5x speed-up",
    s is not None and s >= 5)
row("  plain as built (GCC vectorises it)", plain, "decay_and_rise", decay, ratio(plain, decay))
row("update_particles (pool full)", us("step_update_particles"))
remap = us("step_remap_through_warp")
r = ratio(remap, gather)
row("remap_through_warp", remap, "gather floor", gather, r, "<= 1.2x gather",
    r is not None and r <= 1.2)
row("  remap, table in column order", us("layout_column_order"), "gather floor", gather,
    ratio(us("layout_column_order"), gather))
row("  remap, column order by fours", us("layout_column_order_by_four"), "gather floor", gather,
    ratio(us("layout_column_order_by_four"), gather))
row("build_warp_tables (start-up)", us("step_build_warp_tables"))
row("palette scheme switch", us("present_palette_scheme"))
row("  switch and the BitBlt after it", us("present_palette_scheme_and_bitblt"))
blit = us("present_bitblt_memory_dc")
row("BitBlt 8-bit -> 32-bit memory DC", blit, "memcpy 76,800 B", memcpy, ratio(blit, memcpy))
row("BitBlt 8-bit -> window (dummy)", us("present_bitblt_window"))
f2 = us("frame_sorvel2_steps")
row("sorvel2 frame, steps only", f2, target="< 60 us", met=f2 is not None and f2 < 60)
f1 = us("frame_sorvel_steps")
row("sorvel frame, steps only", f1, target="< 15 us", met=f1 is not None and f1 < 15)
row("sorvel2 frame with present", us("frame_sorvel2"))
row("sorvel frame with present", us("frame_sorvel"))

header = ("step", "median", "floor", "floor median", "ratio", "target", "met")
widths = [max(len(str(x[i])) for x in rows + [header]) for i in range(len(header))]
line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
print(line(header))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows:
    print(line(r))
ctx = report.get("context", {})
print(f"\nmedians of CPU time over {repetitions} repetitions; gather floor = {gather_name};"
      f" {ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz;"
      f" JSON in {path}")
if missing:
    print("skipped with an error: " + ", ".join(sorted(set(missing))))
EOF
