#!/usr/bin/env bash
# Two builds' monitors in the same span, for before-and-after figures that share the machine's
# load: PAIRS pairs of monitors, one of each build, started in alternating order so that neither
# build always starts first, each against a simulated Mac of its own, with a wake-only program per
# pair. Prints every monitor's CPU per refresh and the means, for the monitor without a terminal
# or, with --open, on a terminal with its menu open.
# Usage: bench/compare_builds.sh [--open] OLD_BUILD NEW_BUILD [SECONDS] [PAIRS]
set -euo pipefail
open=0
if [ "${1:-}" = --open ]; then open=1; shift; fi
[ $# -ge 2 ] || { sed -n '7s/^# //p' "$0" >&2; exit 2; }
builds=("$1" "$2")
seconds=${3:-120}
pairs=${4:-3}
for build in "${builds[@]}"; do
  for program in Quillomatics.app/Contents/MacOS/Quillomatics sim/smc-sim bench/bench_wake_floor; do
    [ -x "$build/$program" ] || { echo "$build/$program is missing" >&2; exit 2; }
  done
done
[ "$open" = 0 ] || command -v tmux >/dev/null || { echo "tmux is needed for --open" >&2; exit 2; }

# shellcheck source=bench/monitors.sh
. "$(dirname "$0")/monitors.sh"
monitors_dir compare

# start NAME BUILD: a monitor of BUILD against a device of its own; prints its pid.
start() {
  local name=$1 build=$2 app
  app=$(realpath "$build/Quillomatics.app/Contents/MacOS/Quillomatics")
  "$build/sim/smc-sim" create --profile macbookpro16-1 "$dir/$name.dev" >/dev/null
  if [ "$open" = 1 ]; then
    monitor_in_tmux "$name" "$dir/$name.dev" "$app" 100x50
  else
    QUILLOMATICS_SMC_DEVICE="$dir/$name.dev" XDG_CONFIG_HOME="$dir/config-$name" \
      "$app" </dev/null >/dev/null 2>&1 &
    echo $!
  fi
}

declare -A pid
for pair in $(seq "$pairs"); do
  order=(0 1)
  [ $((pair % 2)) = 0 ] && order=(1 0)
  for which in "${order[@]}"; do
    pid[$which.$pair]=$(start "b$which-$pair" "${builds[$which]}")
    pids+=("${pid[$which.$pair]}")
  done
  "${builds[0]}/bench/bench_wake_floor" 3 &
  pid[floor.$pair]=$!
  pids+=("$!")
done
sleep 2
declare -A before
for key in "${!pid[@]}"; do before[$key]=$(cpu_ns "${pid[$key]}"); done
sleep "$seconds"

# Microseconds of CPU per 3-second refresh (or wake) for each process of a row, then their mean.
row() {
  local label=$1 prefix=$2 line="" values=()
  for pair in $(seq "$pairs"); do
    values+=("$(per_refresh "${before[$prefix.$pair]}" "${pid[$prefix.$pair]}" "$seconds")")
  done
  line=$(printf '%s ' "${values[@]}")
  printf '%-40s mean %7.1f us   (%s)\n' "$label" \
    "$(printf '%s\n' "${values[@]}" | awk '{ t += $1 } END { printf "%.1f", t / NR }')" "${line% }"
}
row "${builds[0]}" 0
row "${builds[1]}" 1
row "floor (a program that only wakes)" floor
