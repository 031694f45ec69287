# SPDX-License-Identifier: GPL-2.0-or-later
"""Judges a soak against its paired run without thanks sources and draws
both as a PNG (with gnuplot): resident memory, the logic assembly's managed
heap, CPU, and the frames skipped. Prints the lowest resident memory and
managed heap of every 5 minutes.
Pass: resident memory grows by at most 10 MiB after the warm-up (the first 5
minutes, or the first half of a shorter run; in a run of 25 minutes or more,
all but its last 20 minutes, by when the module's bounded structures and the
fonts' glyph caches are to be full; lowest values compared, as it rises and
falls with the runtime's collections); in a run of 25 minutes or more, the
lowest resident memory and the lowest managed heap of each 5 minutes of the
last 20 stay within 5 MiB of each other (once the bounded structures are
full, nothing may grow with the gifts); the source
shown all evening takes every gift, and the soak skips no more
render or output frames, as a share of its frames, than the paired run did
(3 frames of slack for a single hiccup). Prints the figures; exits non-zero
naming what failed.
    soak_report.py BARE_CSV THANKS_CSV PNG"""
import csv, subprocess, sys

bare_csv, thanks_csv, png = sys.argv[1:4]
SLACK_FRAMES = 3
RSS_GROWTH_MIB = 10.0
FLAT_MINUTES, FLAT_MIB, FLOOR_SECONDS = 20, 5.0, 300


def rows(path):
    """The samples, numbers by column; a column left empty (the managed
    heap of a run without thanks sources, or of a state that did not tell
    it) is left out of its row."""
    with open(path, newline="") as f:
        return [{k: float(v) for k, v in row.items() if v not in ("", None)} for row in csv.DictReader(f)]


def floors(run, column, start, end):
    """The lowest `column` of each FLOOR_SECONDS from `start` to `end`
    (None for a stretch without a value)."""
    lows = []
    for at in range(int(start), int(end), FLOOR_SECONDS):
        values = [r[column] for r in run if at <= r["seconds"] <= at + FLOOR_SECONDS and column in r]
        lows.append(min(values) if values else None)
    return lows


def skipped(run, kind):
    """Frames of `kind` skipped and made over the run."""
    first, last = run[0], run[-1]
    return (last[kind + "_skipped"] - first[kind + "_skipped"], last[kind + "_total"] - first[kind + "_total"])


bare, thanks = rows(bare_csv), rows(thanks_csv)
if len(bare) < 2 or len(thanks) < 2:
    sys.exit("check failed: too few samples (%d and %d)" % (len(bare), len(thanks)))
failures = []

# Resident memory rises between the runtime's collections and falls at each,
# so the lowest value of the first and of the last stretch after the
# warm-up (5 minutes each, or a third of a shorter stretch) are compared:
# what a leak would lift.
length = thanks[-1]["seconds"]
warm_up = length - FLAT_MINUTES * 60 if length >= (FLAT_MINUTES + 5) * 60 else min(300.0, length / 2)
after = [r for r in thanks if r["seconds"] >= warm_up]
stretch = min(300.0, (length - warm_up) / 3)
first = [r["rss_mib"] for r in after if r["seconds"] <= warm_up + stretch]
last = [r["rss_mib"] for r in after if r["seconds"] >= length - stretch]
growth = min(last) - min(first)
print("resident memory after the %.0f s warm-up: lowest %.1f MiB in its first %.0f s, %.1f MiB in the last "
      "(%+.1f MiB); highest %.1f MiB; OBS Studio's own count %.1f -> %.1f MiB" %
      (warm_up, min(first), stretch, min(last), growth, max(r["rss_mib"] for r in after),
       after[0]["obs_memory_mib"], after[-1]["obs_memory_mib"]))
if growth > RSS_GROWTH_MIB:
    failures.append("resident memory grew by %.1f MiB after the warm-up (%.0f MiB allowed)" % (growth, RSS_GROWTH_MIB))

# The floors (lowest values) of each 5 minutes; a leak lifts them step by
# step, warm-up only until the bounded structures are full.
for column, what in (("rss_mib", "resident memory"), ("managed_heap_mib", "managed heap")):
    lows = floors(thanks, column, 0, length)
    print("%s, lowest of each 5 minutes (MiB): %s" %
          (what, ", ".join("-" if low is None else "%.1f" % low for low in lows)))
    if length < (FLAT_MINUTES + 5) * 60:
        continue
    last_floors = floors(thanks, column, length - FLAT_MINUTES * 60, length)
    if None in last_floors:
        failures.append("no %s in some 5 minutes of the last %d" % (what, FLAT_MINUTES))
        continue
    spread = max(last_floors) - min(last_floors)
    print("%s over the last %d minutes: floors %s, spread %.1f MiB (%.0f allowed)" %
          (what, FLAT_MINUTES, ", ".join("%.1f" % low for low in last_floors), spread, FLAT_MIB))
    if spread > FLAT_MIB:
        failures.append("the %s's floors over the last %d minutes spread over %.1f MiB (%.0f MiB allowed)" %
                        (what, FLAT_MINUTES, spread, FLAT_MIB))

for kind in ("render", "output"):
    (bare_skipped, bare_total), (ours, total) = skipped(bare, kind), skipped(thanks, kind)
    allowed = SLACK_FRAMES + (bare_skipped / bare_total * total if bare_total else 0)
    print("%s frames skipped: %d of %d with the thanks sources, %d of %d without" %
          (kind, ours, total, bare_skipped, bare_total))
    if ours > allowed:
        failures.append("%d %s frames skipped with the thanks sources, %.0f allowed by the run without" %
                        (ours, kind, allowed))

cpu = [r["cpu_percent"] for r in after]
bare_cpu = [r["cpu_percent"] for r in bare[1:]] or [0]
print("OBS Studio's CPU: %.1f %% mean with the thanks sources, %.1f %% without" %
      (sum(cpu) / len(cpu), sum(bare_cpu) / len(bare_cpu)))
last = thanks[-1]
print("gifts posted during the samples: %d; not taken: %d by the source in both scenes, %d by the one that is off "
      "(and its endpoint closed) while the second scene is on" %
      (last["gifts_posted"], last["gifts_refused"], last.get("gifts_refused_while_hidden", 0)))
if last["gifts_refused"]:
    failures.append("%d gifts were not taken by the source shown all evening" % last["gifts_refused"])

script = """
set terminal pngcairo size 1200,1200 font "sans,11"
set output "{png}"
set datafile separator ","
set key autotitle columnhead top left
set xlabel "minutes"
set grid
set multiplot layout 4,1 title "OBS Studio with two thanks sources (solid) and without (dashed)"
set ylabel "resident memory (MiB)"
plot "{thanks}" using ($1/60):2 with lines lw 2 title "RSS, thanks", \\
     "{bare}" using ($1/60):2 with lines dt 2 title "RSS, without"
set ylabel "managed heap (MiB)"
plot "{thanks}" using ($1/60):12 with linespoints lw 2 pt 7 ps 0.4 title "logic assembly's managed heap, thanks"
set ylabel "CPU (%)"
plot "{thanks}" using ($1/60):4 with lines lw 2 title "CPU, thanks", \\
     "{bare}" using ($1/60):4 with lines dt 2 title "CPU, without"
set ylabel "frames skipped since start"
plot "{thanks}" using ($1/60):5 with lines lw 2 title "render, thanks", \\
     "{thanks}" using ($1/60):7 with lines lw 2 title "output, thanks", \\
     "{bare}" using ($1/60):5 with lines dt 2 title "render, without", \\
     "{bare}" using ($1/60):7 with lines dt 2 title "output, without"
unset multiplot
""".format(png=png, thanks=thanks_csv, bare=bare_csv)
subprocess.run(["gnuplot"], input=script.encode(), check=True)
print("plot: " + png)

if failures:
    sys.exit("check failed: " + "; ".join(failures))
