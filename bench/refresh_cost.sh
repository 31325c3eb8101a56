#!/usr/bin/env bash
# What a refresh costs the whole monitor process, beside a program that only wakes as often:
# the monitor on a terminal with its menu open, on a terminal with its menu closed, and without
# a terminal (the plain-text refresh). Each monitor runs alone beside its own wake-only floor, in
# turn: monitors of one program running at once would find each other's code and data in the
# caches and look cheaper than the one monitor a user runs. These three read a simulated Mac whose
# model a process of its own keeps moving (smc-sim run), as a Mac's SMC is a processor of its
# own: their figures are the monitor's own work. A fourth turn, without a terminal, has the
# monitor move its simulated Mac's model itself, as every monitor started by dev/run does; the
# stepping process's CPU is given too. A fifth turn runs the textfile exporter (--textfile, the
# Prometheus text rewritten every 3 s) on the moved Mac, for its idle cost beside the monitor's.
# Prints one line per run (each case's CPU per refresh and
# ratio to the floor measured beside it) and the medians and spreads (min-max); with --summary
# only "name median min max" lines for bench/run. The plain-text monitor also gives its peak
# resident memory (hwm_kb). When bench_wait_split.so is built beside them, each monitor's CPU is
# also split into the part inside its waits (wait_us: going to sleep and waking, which the floor
# pays too) and the part between them (work_us: the refresh itself), both per refresh; the work
# is the steadier figure, since the waits carry most of the machine's wake-to-wake noise.
# Usage: bench/refresh_cost.sh [BUILD_DIR] [SECONDS_PER_TURN] [RUNS] [WIDTHxHEIGHT]
summary=0
if [ "${1:-}" = --summary ]; then summary=1; shift; fi
build=${1:-build/default}
seconds=${2:-45}
runs=${3:-3}
size=${4:-100x50}
app="$build/Quillomatics.app/Contents/MacOS/Quillomatics"
smc_sim="$build/sim/smc-sim"
floor="$build/bench/bench_wake_floor"
wait_split="$build/bench/bench_wait_split.so"
for program in "$app" "$smc_sim" "$floor"; do
  [ -x "$program" ] || { echo "build Quillomatics, smc-sim and bench_wake_floor in $build" >&2; exit 2; }
done
command -v tmux >/dev/null || { echo "tmux is needed for the monitor on a terminal" >&2; exit 2; }

# shellcheck source=bench/monitors.sh
. "$(dirname "$0")/monitors.sh"
monitors_dir refresh
app=$(realpath "$app")
# The environment that splits a monitor's CPU (see bench/wait_split.cpp) into $dir/split.
split_env=()
[ -f "$wait_split" ] && split_env=(QUILL_WAIT_SPLIT="$dir/split" LD_PRELOAD="$(realpath "$wait_split")")
# split_counters: waits, wait ns and work ns so far, or nothing without the split.
split_counters() { [ -s "$dir/split" ] && od -An -t u8 "$dir/split" | tr -s ' \n' '  '; }

# turn CASE: one monitor alone beside the floor for $seconds; sets floor_us, monitor_us, sim_us,
# wait_us, work_us and hwm.
turn() {
  local case=$1 device=$dir/smc.dev pf pm ps=
  "$smc_sim" create --profile macbookpro16-1 "$device" >/dev/null
  "$floor" 3 &
  pf=$!
  pids+=("$pf")
  if [ "$case" != self ]; then
    # Every 25 ms, so that the model's last step is always younger than the 50 ms after which a
    # monitor that may write the device would step it itself.
    "$smc_sim" run --interval 25 "$device" &
    ps=$!
    pids+=("$ps")
  fi
  case $case in
    open | closed) pm=$(monitor_in_tmux "$case" "$device" "$app" "$size" "${split_env[*]}") ;;
    textfile)
      mkdir -p "$dir/textfile"
      env "${split_env[@]}" QUILLOMATICS_SMC_DEVICE="$device" XDG_CONFIG_HOME="$dir/config-$case" \
        "$app" --textfile "$dir/textfile/quillomatics.prom" </dev/null >/dev/null &
      pm=$!
      pids+=("$pm")
      ;;
    *)
      env "${split_env[@]}" QUILLOMATICS_SMC_DEVICE="$device" XDG_CONFIG_HOME="$dir/config-$case" \
        "$app" </dev/null >/dev/null &
      pm=$!
      pids+=("$pm")
      ;;
  esac
  sleep 1
  [ "$case" = closed ] && tmux -S "$dir/tmux.sock" send-keys -t closed Escape
  sleep 1
  local f0 m0 s0=0 c0 c1
  f0=$(cpu_ns "$pf")
  m0=$(cpu_ns "$pm")
  [ -n "$ps" ] && s0=$(cpu_ns "$ps")
  c0=$(split_counters)
  sleep "$seconds"
  c1=$(split_counters)
  wait_us=- work_us=-
  if [ -n "$c0" ] && [ -n "$c1" ]; then
    read -r wait_us work_us < <(awk -v a="$c0" -v b="$c1" -v s="$seconds" 'BEGIN {
      split(a, x, " "); split(b, y, " "); r = s / 3
      printf "%.1f %.1f\n", (y[2] - x[2]) / 1e3 / r, (y[3] - x[3]) / 1e3 / r }')
  fi
  floor_us=$(per_refresh "$f0" "$pf" "$seconds")
  monitor_us=$(per_refresh "$m0" "$pm" "$seconds")
  sim_us=
  [ -n "$ps" ] && sim_us=$(per_refresh "$s0" "$ps" "$seconds")
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pm/status")
  monitors_cleanup_processes
  rm -f "$device" "$dir/split"
  sleep 0.5
}

# record: a line of the table, kept for the summary and shown unless only the summary is asked.
record() {
  if [ "$summary" = 1 ]; then cat >>"$dir/runs.txt"; else tee -a "$dir/runs.txt"; fi
}
columns() { printf '%-4s %-7s %10s %10s %7s %10s %10s %10s %8s\n' "$@"; }
columns run case floor_us us ratio wait_us work_us sim_us hwm_kb | record
for run in $(seq "$runs"); do
  for case in open closed plain self textfile; do
    turn "$case"
    columns "$run" "$case" "$floor_us" "$monitor_us" \
      "$(awk -v m="$monitor_us" -v f="$floor_us" 'BEGIN { printf "%.2f", m / f }')" \
      "$wait_us" "$work_us" "${sim_us:--}" "$hwm" | record
  done
done

# Medians and spreads (min-max) of each case's CPU per refresh, ratio, floor, wait and work.
awk -v summary="$summary" 'NR > 1 {
  k = $2; n[k]++
  v[k, "floor", n[k]] = $3; v[k, "us", n[k]] = $4; v[k, "ratio", n[k]] = $5
  v[k, "wait", n[k]] = $6; v[k, "work", n[k]] = $7
  if ($8 != "-") { ns++; sim[ns] = $8 }
  if (k == "plain") { nh++; hwm[nh] = $9 }
}
# stats NAME COUNT A FMT: median, min and max of A[1..COUNT], as a summary line or as text.
function stats(name, count, a, fmt,   i, j, t, med) {
  for (i = 1; i <= count; i++) for (j = i + 1; j <= count; j++) if (a[j] < a[i]) { t = a[i]; a[i] = a[j]; a[j] = t }
  med = count % 2 ? a[(count + 1) / 2] : (a[count / 2] + a[count / 2 + 1]) / 2
  if (summary) { printf "%s " fmt " " fmt " " fmt "\n", name, med, a[1], a[count]; return "" }
  return sprintf(fmt " (" fmt "-" fmt ")", med, a[1], a[count])
}
# column K FIELD: one case'"'"'s values of one field, in a plain array for stats; returns how
# many there are (none for a split that was not measured).
function column(k, field,   i, m) {
  split("", col)
  for (i = 1; i <= n[k]; i++) if (v[k, field, i] != "-") col[++m] = v[k, field, i]
  return m
}
END {
  split("open closed plain self textfile", cases, " ")
  split("menu open|menu closed|no terminal|no terminal, moving its model itself|textfile exporter", label, "|")
  for (c = 1; c <= 5; c++) {
    k = cases[c]
    if (summary) {
      stats(k "_us", column(k, "us"), col, "%.1f")
      stats(k "_ratio", column(k, "ratio"), col, "%.2f")
      stats(k "_floor_us", column(k, "floor"), col, "%.1f")
      if (column(k, "work")) {
        stats(k "_wait_us", column(k, "wait"), col, "%.1f")
        stats(k "_work_us", column(k, "work"), col, "%.1f")
      }
      continue
    }
    a = stats("", column(k, "us"), col, "%.1f")
    b = stats("", column(k, "ratio"), col, "%.2f")
    f = stats("", column(k, "floor"), col, "%.1f")
    printf "%-38s %s us, ratio %s (floor %s us)\n", label[c] ":", a, b, f
    if (column(k, "work")) {
      w = stats("", column(k, "wait"), col, "%.1f")
      printf "%-38s %s us, in its waits %s us\n", "  of which its work:", stats("", column(k, "work"), col, "%.1f"), w
    }
  }
  if (summary) {
    stats("sim_us", ns, sim, "%.1f"); stats("hwm_kb", nh, hwm, "%d"); printf "runs %d\n", n["open"]
    exit
  }
  printf "%-38s %s us\n", "smc-sim run, per 3 s:", stats("", ns, sim, "%.1f")
  printf "%-38s %s KiB\n", "no terminal, peak resident:", stats("", nh, hwm, "%d")
}' "$dir/runs.txt"
