#!/usr/bin/env bash
# How fast the fans come back when the monitor is force-quit: the real monitor (no terminal, the
# plain-text refresh) on a frozen simulated Mac, the real `ventwarden guard max PID` holding its
# fans, then SIGKILL of the monitor. Each run times the span from the signal to the guard's exit
# (it exits right after handing every fan back, so the fans are automatic by then: this is an
# upper bound on the hand-back, looked at every 0.2 ms or so without starting a process) and
# then checks that every fan reads automatic and the pid file is gone. Prints each run and the
# median and maximum; with --summary only "handback_ms median max runs" for bench/run.
# Usage: bench/guard_handback.sh [--summary] [BUILD_DIR] [RUNS] [PROFILE]
# As an ordinary account the device is made writable by its owner, who then stands in for root.
set -euo pipefail
summary=0
if [ "${1:-}" = --summary ]; then summary=1; shift; fi
build=${1:-build/default}
runs=${2:-20}
profile=${3:-macbookpro16-1}
app="$build/Quillomatics.app/Contents/MacOS/Quillomatics"
tool="$build/Quillomatics.app/Contents/MacOS/ventwarden"
smc_sim="$build/sim/smc-sim"
for program in "$app" "$tool" "$smc_sim"; do
  [ -x "$program" ] || { echo "build Quillomatics, ventwarden and smc-sim in $build" >&2; exit 2; }
done
pid_file=/tmp/quillomatics_proactive.pid
[ -e "$pid_file" ] && { echo "$pid_file exists: a fan tool runs already" >&2; exit 2; }

# shellcheck source=bench/monitors.sh
. "$(dirname "$0")/monitors.sh"
monitors_dir handback
device=$dir/smc.dev
writers=root
[ "$(id -u)" -eq 0 ] || writers=owner
"$smc_sim" create --frozen --writers "$writers" --profile "$profile" "$device" >/dev/null

# ended PID: whether the process has gone, or has ended and waits to be reaped.
ended() {
  local stat state
  { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 0
  state=${stat##*) }
  [ "${state%% *}" = Z ]
}
# pause: about 0.2 ms without starting a process (a read that times out on a FIFO nobody
# writes), so that the loop that looks for the guard's exit leaves the CPU to the guard.
mkfifo "$dir/pause"
exec {pause_fd}<>"$dir/pause"
pause() { read -r -t 0.0002 -u "$pause_fd" _ || true; }
# forced_fans: how many fans the device shows forced.
forced_fans() { "$smc_sim" show "$device" | awk '/^Fans/ { f = 1; next } f && /^$/ { exit } f && $NF == "forced" { n++ } END { print n + 0 }'; }

times=()
for run in $(seq "$runs"); do
  QUILLOMATICS_SMC_DEVICE=$device XDG_CONFIG_HOME=$dir/config "$app" </dev/null >/dev/null &
  monitor=$!
  pids+=("$monitor")
  # The guard accepts only a process that runs the monitor: wait for the exec.
  until [ "/proc/$monitor/exe" -ef "$app" ]; do sleep 0.001; done
  reply=$(QUILLOMATICS_SMC_DEVICE=$device "$tool" guard max "$monitor") || true
  [ "$reply" = OK ] || { echo "run $run: the guard said '$reply'" >&2; exit 2; }
  guard=$(cat "$pid_file")
  [ "$(forced_fans)" -gt 0 ] || { echo "run $run: no fan forced" >&2; exit 2; }
  # Let the guard settle into its wait, at a different moment of its cycle each run.
  sleep "0.$((RANDOM % 9 + 1))"
  t0=$EPOCHREALTIME
  kill -KILL "$monitor"
  until ended "$guard"; do pause; done
  t1=$EPOCHREALTIME
  wait "$monitor" 2>/dev/null || true
  pids=()
  [ "$(forced_fans)" -eq 0 ] || { echo "run $run: fans still forced after the guard ended" >&2; exit 2; }
  [ ! -e "$pid_file" ] || { echo "run $run: the pid file outlived the guard" >&2; exit 2; }
  ms=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", (b - a) * 1000 }')
  times+=("$ms")
  [ "$summary" -eq 1 ] || echo "run $run: SIGKILL of the monitor to every fan automatic ≤ $ms ms"
done

read -r median max < <(printf '%s\n' "${times[@]}" | sort -g |
  awk '{ v[NR] = $1 } END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.2f %.2f\n", m, v[NR] }')
if [ "$summary" -eq 1 ]; then
  echo "handback_ms $median $max $runs"
else
  echo "profile:   $profile, $runs runs"
  echo "hand-back: median $median ms, max $max ms (goal ≤ 100 ms)"
fi
