#!/usr/bin/env bash
# What a refresh costs the whole monitor process, beside a program that only wakes as often:
# the monitor on a terminal with its menu open, on a terminal with its menu closed, and without
# a terminal (the plain-text refresh), and the wake-only floor, all in the same span so that they
# share the machine's load. These three monitors read one simulated Mac whose model a process of
# its own keeps moving (smc-sim run), as a Mac's SMC is a processor of its own: their figures are
# the monitor's own work. A fourth monitor without a terminal has a simulated Mac of its own and
# moves its model itself, as every monitor started by dev/run does; the stepping process's CPU is
# given too. Prints one line per run and the medians, spreads (min-max) and ratios; with
# --summary only "name median min max" lines for bench/run. The monitor without a terminal also
# gives its peak resident memory (hwm_kb).
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

# monitor_in_tmux NAME: a monitor reading the shared simulated Mac, in a pane of its own; prints
# its pid.
monitor_in_tmux() {
  local name=$1
  tmux -S "$dir/tmux.sock" -f /dev/null new-session -d -s "$name" -x "${size%x*}" -y "${size#*x}" \
    "exec env QUILLOMATICS_SMC_DEVICE=$dir/smc.dev XDG_CONFIG_HOME=$dir/config-$name LANG=C.UTF-8 $app"
  tmux -S "$dir/tmux.sock" display-message -p -t "$name" '#{pane_pid}'
}

# record: a line of the table, kept for the summary and shown unless only the summary is asked.
record() {
  if [ "$summary" = 1 ]; then cat >>"$dir/runs.txt"; else tee -a "$dir/runs.txt"; fi
}
columns='%-4s %10s %10s %10s %10s %10s %10s %8s\n'
printf "$columns" run floor_us open_us closed_us plain_us self_us sim_us hwm_kb | record
for run in $(seq "$runs"); do
  "$floor" 3 &
  pf=$!
  pids+=("$pf")
  "$smc_sim" create --profile macbookpro16-1 "$dir/smc.dev" >/dev/null
  "$smc_sim" create --profile macbookpro16-1 "$dir/self.dev" >/dev/null
  # Every 25 ms, so that the model's last step is always younger than the 50 ms after which a
  # monitor that may write the device would step it itself.
  "$smc_sim" run --interval 25 "$dir/smc.dev" &
  ps=$!
  pids+=("$ps")
  po=$(monitor_in_tmux open)
  pc=$(monitor_in_tmux closed)
  QUILLOMATICS_SMC_DEVICE="$dir/smc.dev" XDG_CONFIG_HOME="$dir/config-plain" \
    "$app" </dev/null >/dev/null &
  pp=$!
  QUILLOMATICS_SMC_DEVICE="$dir/self.dev" XDG_CONFIG_HOME="$dir/config-self" \
    "$app" </dev/null >/dev/null &
  pself=$!
  pids+=("$pp" "$pself")
  sleep 1
  tmux -S "$dir/tmux.sock" send-keys -t closed Escape
  sleep 1
  measured=("$pf" "$po" "$pc" "$pp" "$pself" "$ps")
  declare -A start=()
  for p in "${measured[@]}"; do start[$p]=$(cpu_ns "$p"); done
  sleep "$seconds"
  per=()
  for p in "${measured[@]}"; do
    per+=("$(awk -v a="${start[$p]}" -v b="$(cpu_ns "$p")" -v s="$seconds" \
      'BEGIN { printf "%.1f", (b - a) / 1e3 / (s / 3) }')")
  done
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pp/status")
  printf "$columns" "$run" "${per[@]}" "$hwm" | record
  kill "$pf" "$pp" "$pself" "$ps"
  wait "$pf" "$pp" "$pself" "$ps" 2>/dev/null || true
  pids=()
  tmux -S "$dir/tmux.sock" kill-server
  rm -f "$dir"/*.dev
  sleep 0.5
done

# Medians, spreads (min-max) and the per-run ratios to the floor, as their median and spread.
awk -v summary="$summary" 'NR > 1 {
  n++; f[n] = $2; o[n] = $3; c[n] = $4; p[n] = $5; m[n] = $6; sim[n] = $7; h[n] = $8
  ro[n] = $3 / $2; rc[n] = $4 / $2; rp[n] = $5 / $2; rm[n] = $6 / $2
}
function stats(name, a, fmt,   i, j, t, med) {
  for (i = 1; i <= n; i++) for (j = i + 1; j <= n; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  med = n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
  if (summary) { printf "%s " fmt " " fmt " " fmt "\n", name, med, a[1], a[n]; return "" }
  return sprintf(fmt " (" fmt "-" fmt ")", med, a[1], a[n])
}
END {
  if (summary) {
    stats("floor_us", f, "%.1f"); stats("open_us", o, "%.1f"); stats("closed_us", c, "%.1f")
    stats("plain_us", p, "%.1f"); stats("self_us", m, "%.1f"); stats("sim_us", sim, "%.1f")
    stats("open_ratio", ro, "%.2f"); stats("closed_ratio", rc, "%.2f")
    stats("plain_ratio", rp, "%.2f"); stats("self_ratio", rm, "%.2f"); stats("hwm_kb", h, "%d")
    printf "runs %d\n", n
    exit
  }
  printf "floor per wake:                          %s us\n", stats("", f, "%.1f")
  printf "menu open, per refresh:                  %s us, ratio %s\n", stats("", o, "%.1f"), stats("", ro, "%.2f")
  printf "menu closed, per refresh:                %s us, ratio %s\n", stats("", c, "%.1f"), stats("", rc, "%.2f")
  printf "no terminal, per refresh:                %s us, ratio %s\n", stats("", p, "%.1f"), stats("", rp, "%.2f")
  printf "no terminal, moving its model itself:    %s us, ratio %s\n", stats("", m, "%.1f"), stats("", rm, "%.2f")
  printf "smc-sim run, per 3 s:                    %s us\n", stats("", sim, "%.1f")
  printf "no terminal, peak resident:              %s KiB\n", stats("", h, "%d")
}' "$dir/runs.txt"
