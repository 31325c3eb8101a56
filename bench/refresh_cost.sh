#!/usr/bin/env bash
# What a refresh costs the whole monitor process, beside a program that only wakes as often:
# the monitor on a terminal with its menu open, on a terminal with its menu closed, and without
# a terminal (the plain-text refresh), each against a simulated Mac of its own, and the wake-only
# floor, all in the same span so that they share the machine's load. Prints one line per run and
# the medians, spreads (min-max) and ratios; with --summary only "name median min max" lines for
# bench/run. The monitor without a terminal also gives its peak resident memory (hwm_kb).
# Usage: bench/refresh_cost.sh [BUILD_DIR] [SECONDS_PER_RUN] [RUNS] [WIDTHxHEIGHT]
set -euo pipefail
summary=0
if [ "${1:-}" = --summary ]; then summary=1; shift; fi
build=${1:-build/default}
seconds=${2:-60}
runs=${3:-3}
size=${4:-100x50}
app="$build/Quillomatics.app/Contents/MacOS/Quillomatics"
smc_sim="$build/sim/smc-sim"
floor="$build/bench/bench_wake_floor"
for program in "$app" "$smc_sim" "$floor"; do
  [ -x "$program" ] || { echo "build Quillomatics, smc-sim and bench_wake_floor in $build" >&2; exit 2; }
done
command -v tmux >/dev/null || { echo "tmux is needed for the monitor on a terminal" >&2; exit 2; }

# shellcheck source=bench/monitors.sh
. "$(dirname "$0")/monitors.sh"
monitors_dir refresh
app=$(realpath "$app")

# monitor_in_tmux NAME: the monitor in a pane of its own; prints its pid.
monitor_in_tmux() {
  local name=$1
  "$smc_sim" create --profile macbookpro16-1 "$dir/$name.dev" >/dev/null
  tmux -S "$dir/tmux.sock" -f /dev/null new-session -d -s "$name" -x "${size%x*}" -y "${size#*x}" \
    "exec env QUILLOMATICS_SMC_DEVICE=$dir/$name.dev XDG_CONFIG_HOME=$dir/config-$name LANG=C.UTF-8 $app"
  tmux -S "$dir/tmux.sock" display-message -p -t "$name" '#{pane_pid}'
}

# record: a line of the table, kept for the summary and shown unless only the summary is asked.
record() {
  if [ "$summary" = 1 ]; then cat >>"$dir/runs.txt"; else tee -a "$dir/runs.txt"; fi
}
printf '%-4s %12s %12s %12s %12s %10s\n' run floor_us open_us closed_us plain_us hwm_kb | record
for run in $(seq "$runs"); do
  "$floor" 3 &
  pf=$!
  pids+=("$pf")
  po=$(monitor_in_tmux open)
  pc=$(monitor_in_tmux closed)
  "$smc_sim" create --profile macbookpro16-1 "$dir/plain.dev" >/dev/null
  QUILLOMATICS_SMC_DEVICE="$dir/plain.dev" XDG_CONFIG_HOME="$dir/config-plain" \
    "$app" </dev/null >/dev/null &
  pp=$!
  pids+=("$pp")
  sleep 1
  tmux -S "$dir/tmux.sock" send-keys -t closed Escape
  sleep 1
  declare -A start=()
  for p in "$pf" "$po" "$pc" "$pp"; do start[$p]=$(cpu_ns "$p"); done
  sleep "$seconds"
  per=()
  for p in "$pf" "$po" "$pc" "$pp"; do
    per+=("$(awk -v a="${start[$p]}" -v b="$(cpu_ns "$p")" -v s="$seconds" \
      'BEGIN { printf "%.1f", (b - a) / 1e3 / (s / 3) }')")
  done
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pp/status")
  printf '%-4s %12s %12s %12s %12s %10s\n' "$run" "${per[@]}" "$hwm" | record
  kill "$pf" "$pp"
  wait "$pf" "$pp" 2>/dev/null || true
  pids=()
  tmux -S "$dir/tmux.sock" kill-server
  rm -f "$dir"/*.dev
  sleep 0.5
done

# Medians, spreads (min-max) and the per-run ratios to the floor, as their median and spread.
awk -v summary="$summary" 'NR > 1 {
  n++; f[n] = $2; o[n] = $3; c[n] = $4; p[n] = $5; h[n] = $6
  ro[n] = $3 / $2; rc[n] = $4 / $2; rp[n] = $5 / $2
}
function stats(name, a, fmt,   i, j, t, m) {
  for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  m = n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  if (summary) { printf "%s " fmt " " fmt " " fmt "\n", name, m, a[1], a[n]; return "" }
  return sprintf(fmt " (" fmt "-" fmt ")", m, a[1], a[n])
}
END {
  if (summary) {
    stats("floor_us", f, "%.1f"); stats("open_us", o, "%.1f"); stats("closed_us", c, "%.1f")
    stats("plain_us", p, "%.1f"); stats("open_ratio", ro, "%.2f"); stats("closed_ratio", rc, "%.2f")
    stats("plain_ratio", rp, "%.2f"); stats("hwm_kb", h, "%d"); printf "runs %d\n", n
    exit
  }
  printf "floor per wake:                %s us\n", stats("", f, "%.1f")
  printf "menu open, per refresh:        %s us, ratio %s\n", stats("", o, "%.1f"), stats("", ro, "%.2f")
  printf "menu closed, per refresh:      %s us, ratio %s\n", stats("", c, "%.1f"), stats("", rc, "%.2f")
  printf "no terminal, per refresh:      %s us, ratio %s\n", stats("", p, "%.1f"), stats("", rp, "%.2f")
  printf "no terminal, peak resident:    %s KiB\n", stats("", h, "%d")
}' "$dir/runs.txt"
