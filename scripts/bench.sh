#!/usr/bin/env bash
# The benchmarks: builds the release configuration (build/release) if needed, runs every
# benchmark with repetitions and prints one table of medians: each step at each vector level
# (sse2, and avx2 where the processor has it), the floor it is held against, their ratio, and the
# targets with whether each was met.
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
  --benchmark_repetitions="$repetitions" --benchmark_display_aggregates_only=true \
  --benchmark_min_time=0.05 --benchmark_enable_random_interleaving=true --benchmark_format=json --benchmark_out="$out" \
  --benchmark_out_format=json >/dev/null

python3 - "$out" "$repetitions" <<'EOF'
import json
import sys

path, repetitions = sys.argv[1], sys.argv[2]
report = json.load(open(path))
median = {}
best = {}
for b in report["benchmarks"]:
    unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    if b.get("aggregate_name") == "median":
        median[b["run_name"]] = b["cpu_time"] * unit  # microseconds
    elif b.get("run_type") == "iteration" and not b.get("error_occurred"):
        t = b["cpu_time"] * unit
        best[b["run_name"]] = min(best.get(b["run_name"], t), t)
missing = sorted({f'{b["run_name"]} ({b.get("error_message", "")})' for b in report["benchmarks"]
                  if b.get("error_occurred")})

def us(name):
    return median.get(name)

def fmt(value):
    if value is None:
        return "-"
    return f"{value / 1000:.2f} ms" if value >= 1000 else f"{value:.2f} us"

def fastest(prefix):
    found = {n: v for n, v in median.items() if n.startswith(prefix)}
    name = min(found, key=found.get) if found else None
    return name, found.get(name)

gather_name, gather = fastest("floor_gather_")
copy_name, copy_floor = fastest("floor_copy_")
memcpy = us("floor_memcpy")

# (step, median, best run, floor label, floor median, ratio, target, met)
rows = []

def ratio(a, b):
    return a / b if a is not None and b else None

def row(step, name, floor_label="", floor=None, target="", limit=None):
    v = us(name) if name else None
    r = ratio(v, floor) if floor_label else None
    met = None
    if isinstance(limit, tuple):  # an absolute limit in microseconds
        met = v is not None and v <= limit[0]
    elif isinstance(limit, str):  # a least ratio, as "5"
        met = r is not None and r >= float(limit)
    elif limit is not None:
        met = r is not None and r <= limit
    rows.append((step, fmt(v), fmt(best.get(name)) if name else "", floor_label,
                 fmt(floor) if floor_label else "", f"{r:.2f}x" if r is not None else "", target,
                 "" if met is None or v is None else ("yes" if met else "NO")))

def level(name, l):
    return f"{name}/avx2:{l}"

row("memcpy of 76,800 bytes (floor)", "floor_memcpy")
row("decay_and_rise, sse2", level("step_decay_and_rise", 0), "memcpy", memcpy, "<= 4.2x memcpy",
    4.2)
row("decay_and_rise, avx2", level("step_decay_and_rise", 1), "memcpy", memcpy, "<= 3x memcpy", 3)
row("  plain, scalar", "step_decay_and_rise_plain_scalar", "sse2 step",
    us(level("step_decay_and_rise", 0)), ">= 5x speed-up", "5")
row("  plain as built (GCC vectorises it)", "step_decay_and_rise_plain", "memcpy", memcpy)
row("update_particles (pool full)", "step_update_particles")
row(f"gather floor ({gather_name})", gather_name)
row("remap_through_warp, sse2", level("step_remap_through_warp", 0), "gather floor", gather)
row("remap_through_warp, avx2", level("step_remap_through_warp", 1), "gather floor", gather,
    "<= 1.1x gather", 1.1)
row("  remap, table in column order", "layout_column_order", "gather floor", gather)
row("  remap, column order by fours", "layout_column_order_by_four", "gather floor", gather)
row("build_warp_tables (start-up)", "step_build_warp_tables")
row(f"8-to-32 copy floor ({copy_name})", copy_name)
row("BitBlt 8 -> 32-bit memory DC, sse2", level("copy_bitblt_memory_dc", 0), "copy floor",
    copy_floor)
row("BitBlt 8 -> 32-bit memory DC, avx2", level("copy_bitblt_memory_dc", 1), "copy floor",
    copy_floor, "<= 1.2x floor", 1.2)
row("BitBlt 8 -> window (dummy), sse2", level("copy_bitblt_window", 0), "copy floor", copy_floor)
row("BitBlt 8 -> window (dummy), avx2", level("copy_bitblt_window", 1), "copy floor", copy_floor)
row("palette scheme switch", "present_palette_scheme")
row("  switch and the BitBlt after it", "present_palette_scheme_and_bitblt")
for l, name in ((0, "sse2"), (1, "avx2")):
    row(f"sorvel2 frame, steps only, {name}", level("frame_sorvel2_steps", l), target="< 60 us",
        limit=(60.0,))
    row(f"sorvel frame, steps only, {name}", level("frame_sorvel_steps", l), target="< 15 us",
        limit=(15.0,))
for l, name in ((0, "sse2"), (1, "avx2")):
    row(f"sorvel2 shown frame (window), {name}", level("shown_frame_sorvel2", l),
        target="<= 40 us" if l else "", limit=(40.0,) if l else None)
    row(f"sorvel shown frame (window), {name}", level("shown_frame_sorvel", l),
        target="<= 22 us" if l else "", limit=(22.0,) if l else None)

header = ("step", "median", "best", "floor", "floor median", "ratio", "target", "met")
widths = [max(len(str(x[i])) for x in rows + [header]) for i in range(len(header))]
line = lambda cells: "| " + " | ".join(str(c).ljust(w) for c, w in zip(cells, widths)) + " |"
print(line(header))
print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
for r in rows:
    print(line(r))
ctx = report.get("context", {})
load = ", ".join(f"{x:.1f}" for x in ctx.get("load_avg", []))
print(f"\nmedians and best runs of CPU time over {repetitions} repetitions; a ratio is of medians;"
      f" {ctx.get('num_cpus', '?')} CPUs at {ctx.get('mhz_per_cpu', '?')} MHz;"
      f" load average {load or '?'}; JSON in {path}")
if missing:
    print("skipped: " + "; ".join(missing))
EOF
