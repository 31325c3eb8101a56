#!/usr/bin/env bash
# Idle cost of the running monitor: CPU seconds used over a span of 3-second refreshes (default
# 60 s) and the peak resident memory, against a simulated Mac of its own whose model runs.
# Usage: bench/app_idle.sh [BUILD_DIR] [SECONDS] [PROFILE]
set -euo pipefail
build=${1:-build/default}
seconds=${2:-60}
profile=${3:-macbookpro16-1}
app="$build/Quillomatics.app/Contents/MacOS/Quillomatics"
smc_sim="$build/sim/smc-sim"
[ -x "$app" ] && [ -x "$smc_sim" ] || { echo "build Quillomatics and smc-sim in $build first" >&2; exit 2; }

dir=$(mktemp -d /tmp/quill-idle-XXXXXX)
pid=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
export QUILLOMATICS_SMC_DEVICE="$dir/smc.dev" XDG_CONFIG_HOME="$dir/config"
"$smc_sim" create --profile "$profile" "$QUILLOMATICS_SMC_DEVICE" >/dev/null

# The monitor (not on a terminal: the plain-text refresh), input from /dev/null.
"$app" </dev/null >"$dir/out.txt" &
pid=$!
sleep 1
# Time on a CPU in nanoseconds (the scheduler's own account, finer than clock ticks).
cpu_ns() { awk '{ print $1 }' "/proc/$pid/schedstat"; }
start=$(cpu_ns)
sleep "$seconds"
end=$(cpu_ns)
hwm_kb=$(awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status")
refreshes=$(grep -c '^Quillomatics ' "$dir/out.txt" || true)
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=

cpu=$(awk -v t=$((end - start)) 'BEGIN { printf "%.4f", t / 1e9 }')
echo "profile:            $profile"
echo "span:               ${seconds} s, ${refreshes} refreshes printed in all"
echo "CPU time in span:   ${cpu} s ($(awk -v c="$cpu" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * c / s }') % of one core)"
echo "peak resident set:  $((hwm_kb / 1024)) MiB (${hwm_kb} KiB)"
echo "exit on SIGTERM:    $status"
