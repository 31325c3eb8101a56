#!/usr/bin/env bash
# Memory touched per refresh of the monitor without a terminal: the distinct 64-byte lines (and
# 4 KB pages) of code and of data that one refresh reaches, from every access valgrind's lackey
# records. After three seconds asleep most of them are out of the caches again, so this, more than
# the instruction count, is what a refresh's work costs; unlike a timing it is the same from run to
# run. The monitor reads a simulated Mac stepped by its own process, as in refresh_cost.sh. A
# refresh runs from one wait to the next: bench_wait_split.so is loaded only to mark the waits (its
# counters stay off). Give two builds to compare them; they are traced one after the other, so
# that neither slows the other's simulated Mac.
# Usage: bench/refresh_footprint.sh [SECONDS] BUILD_DIR [BUILD_DIR]
set -euo pipefail
seconds=20
if [[ ${1:-} =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
[ $# -ge 1 ] || { sed -n '9s/^# //p' "$0" >&2; exit 2; }
for tool in valgrind nm python3; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done
for build in "$@"; do
  [ -e "$build/bench/bench_wait_split.so" ] || { echo "$build: no bench_wait_split.so" >&2; exit 2; }
done

# shellcheck source=bench/monitors.sh
. "$(dirname "$0")/monitors.sh"
monitors_dir footprint

# report NAME TRACE MAPS SHIM: lines and pages per refresh, in total and by where they lie.
report() {
  python3 - "$@" <<'PY'
import bisect, collections, re, subprocess, sys
name, trace, maps_path, shim = sys.argv[1:5]
regions = []
for line in open(maps_path):
    parts = line.split()
    start, end = (int(x, 16) for x in parts[0].split("-"))
    regions.append((start, end, int(parts[2], 16), parts[5] if len(parts) > 5 else ""))
regions.sort()
starts = [r[0] for r in regions]
def where(address):
    i = bisect.bisect_right(starts, address) - 1
    if i < 0 or address >= regions[i][1]:
        return "other"
    path = regions[i][3]
    if path.endswith("/Quillomatics"):
        return "program"
    if "libstdc++" in path:
        return "C++ library"
    if re.search(r"/lib(c|m)\.so", path):
        return "C library"
    if path.endswith(".dev"):
        return "simulated Mac"
    if path == "" or path.startswith("["):
        return "heap and stack"
    return "other"
shim_path = next(r[3] for r in regions if r[3].endswith("bench_wait_split.so"))
base = next(r[0] for r in regions if r[3] == shim_path and r[2] == 0)
symbols = subprocess.run(["nm", "-D", "--defined-only", shim], capture_output=True, text=True).stdout
mark = base + next(int(l.split()[0], 16) for l in symbols.splitlines() if l.split()[-1] == "poll")
refreshes, code, data = [], None, None
for line in open(trace):
    if line[0] == "=":
        continue
    kind = line[:2].strip()
    address, size = line[3:].split(",")
    address = int(address, 16)
    if kind == "I" and address == mark:
        if code is not None:
            refreshes.append((code, data))
        code, data = set(), set()
        continue
    if code is None:
        continue
    target = code if kind == "I" else data
    target.update(range(address >> 6, ((address + int(size) - 1) >> 6) + 1))
# The first waits follow start-up, the last may be cut short.
refreshes = refreshes[2:-1]
if not refreshes:
    sys.exit(f"{name}: no whole refresh traced; give it more seconds")
sizes = sorted(len(c) + len(d) for c, d in refreshes)
code, data = next((c, d) for c, d in refreshes if len(c) + len(d) == sizes[len(sizes) // 2])
def pages(lines):
    return len({l >> 6 for l in lines})
print(f"{name}: {len(code) + len(data)} lines per refresh (median of {len(refreshes)}, "
      f"{sizes[0]}-{sizes[-1]}): code {len(code)} in {pages(code)} pages, "
      f"data {len(data)} in {pages(data)} pages")
for label in ("program", "C++ library", "C library", "heap and stack", "simulated Mac", "other"):
    c = {l for l in code if where(l << 6) == label}
    d = {l for l in data if where(l << 6) == label}
    if c or d:
        print(f"  {label:15} code {len(c):4} lines {pages(c):3} pages   data {len(d):4} lines {pages(d):3} pages")
PY
}

# trace BUILD: the monitor of one build under lackey for SECONDS, then its report.
trace() {
  local build=$1 pid
  "$build/sim/smc-sim" create --profile macbookpro16-1 "$dir/smc.dev" >/dev/null
  "$build/sim/smc-sim" run --interval 25 "$dir/smc.dev" &
  pids+=("$!")
  QUILLOMATICS_SMC_DEVICE="$dir/smc.dev" XDG_CONFIG_HOME="$dir/config" \
    LD_PRELOAD="$(realpath "$build/bench/bench_wait_split.so")" \
    valgrind --tool=lackey --trace-mem=yes --log-file="$dir/trace" \
    "$build/Quillomatics.app/Contents/MacOS/Quillomatics" </dev/null >/dev/null &
  pid=$!
  pids+=("$pid")
  sleep 4
  cp "/proc/$pid/maps" "$dir/maps"
  sleep "$seconds"
  monitors_cleanup_processes
  echo "== $build"
  report "no terminal" "$dir/trace" "$dir/maps" "$build/bench/bench_wait_split.so"
  rm -f "$dir/smc.dev" "$dir/trace" "$dir/maps"
}

for build in "$@"; do
  trace "$build"
done
