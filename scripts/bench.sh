#!/usr/bin/env bash
# The benchmarks: builds the release configuration (build/release) if needed, runs every
# benchmark with repetitions and prints one table of medians: each step and copy at the levels
# the programs choose (measured fastest on this machine; the level chosen in brackets) and at
# each vector level (sse2, avx2, avx512 where the processor has them), the floor it is held
# against, their ratio, and the targets, which hold for what the programs run, with whether each
# was met.
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
label = {}
for b in report["benchmarks"]:
    unit = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b["time_unit"]]
    if b.get("label"):
        label[b["run_name"]] = b["label"]
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

def fastest(prefix, suffix=""):
    found = {n: v for n, v in median.items() if n.startswith(prefix) and n.endswith(suffix)}
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

levels = ((0, "sse2"), (1, "avx2"), (2, "avx512"))
CHOSEN = 3

def level(name, l):
    return f"{name}/level:{l}"

# The level a chosen run used, from its label "steps S, copies 1x C, scaled D", where S is one
# level or "heat step L, remap L".
def chosen(name, part):
    text = label.get(name, "")
    if not text.startswith("steps ") or ", copies 1x " not in text:
        return "?"
    steps, copies = text[len("steps "):].split(", copies 1x ")
    one, scaled = copies.split(", scaled ")
    if part == "1x":
        return one
    if part == "scaled":
        return scaled
    for piece in steps.split(", "):
        if piece.startswith(part + " "):
            return piece[len(part) + 1:]
    return steps

def each_level(title, name, floor_label="", floor=None, skip=()):
    for l, n in levels:
        if n not in skip:
            row(f"  {title}, {n}", level(name, l), floor_label, floor)

row("memcpy of 76,800 bytes (floor)", "floor_memcpy")
name = level("step_decay_and_rise", CHOSEN)
row(f"decay_and_rise, as chosen ({chosen(name, 'heat step')})", name, "memcpy", memcpy,
    "<= 3x memcpy", 3)
each_level("decay_and_rise", "step_decay_and_rise", "memcpy", memcpy)
row("  plain, scalar", "step_decay_and_rise_plain_scalar", "sse2 step",
    us(level("step_decay_and_rise", 0)), ">= 5x speed-up", "5")
row("  plain as built (GCC vectorises it)", "step_decay_and_rise_plain", "memcpy", memcpy)
row("update_particles (pool full)", "step_update_particles")
row(f"gather floor ({gather_name})", gather_name)
name = level("step_remap_through_warp", CHOSEN)
row(f"remap_through_warp, as chosen ({chosen(name, 'remap')})", name, "gather floor", gather,
    "<= 1.1x gather", 1.1)
each_level("remap_through_warp", "step_remap_through_warp", "gather floor", gather)
row("  remap, table in column order", "layout_column_order", "gather floor", gather)
row("  remap, column order by fours", "layout_column_order_by_four", "gather floor", gather)
row("build_warp_tables (start-up)", "step_build_warp_tables")
row(f"8-to-32 copy floor ({copy_name})", copy_name)
name = level("copy_bitblt_memory_dc", CHOSEN)
row(f"BitBlt 8 -> 32-bit memory DC, as chosen ({chosen(name, '1x')})", name, "copy floor",
    copy_floor, "<= 1.2x floor", 1.2)
each_level("BitBlt 8 -> 32-bit memory DC", "copy_bitblt_memory_dc", "copy floor", copy_floor)
name = level("copy_bitblt_window", CHOSEN)
row(f"BitBlt 8 -> window (dummy), as chosen ({chosen(name, '1x')})", name, "copy floor",
    copy_floor)
each_level("BitBlt 8 -> window (dummy)", "copy_bitblt_window", "copy floor", copy_floor)
for scale in (2, 4, 9):
    floor_name, floor = fastest("floor_scaled_", f"/scale:{scale}")
    row(f"scaled floor at {scale}x ({floor_name.split('/')[0] if floor_name else '-'})",
        floor_name)
    name = f"scaled_present/level:{CHOSEN}/scale:{scale}"
    row(f"scaled present at {scale}x, as chosen ({chosen(name, 'scaled')})", name,
        f"{scale}x floor", floor, "<= 1.2x floor", 1.2)
    for l, n in levels:
        if n != "avx2":  # the scaled copy has no AVX2 path: avx2 runs the sse2 one
            row(f"  scaled present at {scale}x, {n}", f"scaled_present/level:{l}/scale:{scale}",
                f"{scale}x floor", floor)
    if scale == 2:
        name = level("bitblt_window_2x", CHOSEN)
        row(f"BitBlt 8 -> 2x window (dummy), as chosen ({chosen(name, 'scaled')})", name,
            "2x floor", floor)
        each_level("BitBlt 8 -> 2x window (dummy)", "bitblt_window_2x", "2x floor", floor,
                   ("avx2",))
        row("  of which keeping the picture to show again", "keep_scaled_picture")
row("palette scheme switch", "present_palette_scheme")
row("  switch and the BitBlt after it", "present_palette_scheme_and_bitblt")
for l, n in levels + ((CHOSEN, "as chosen"),):
    row(f"sorvel2 frame, steps only, {n}", level("frame_sorvel2_steps", l), target="< 60 us",
        limit=(60.0,))
    row(f"sorvel frame, steps only, {n}", level("frame_sorvel_steps", l), target="< 15 us",
        limit=(15.0,))
for l, n in levels + ((CHOSEN, "as chosen"),):
    row(f"sorvel2 shown frame (window), {n}", level("shown_frame_sorvel2", l),
        target="<= 40 us" if l == CHOSEN else "", limit=(40.0,) if l == CHOSEN else None)
    row(f"sorvel shown frame (window), {n}", level("shown_frame_sorvel", l),
        target="<= 22 us" if l == CHOSEN else "", limit=(22.0,) if l == CHOSEN else None)

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
