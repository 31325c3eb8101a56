# shellcheck shell=bash
# What the bench scripts that run whole monitors share; sourced, not run.

# A fresh working directory in $dir for the monitors' simulated devices, removed at exit with
# every process in $pids and the tmux server of $dir/tmux.sock. The devices live in memory, as a
# user's do in the runtime directory (a tmpfs): a device on a disk file system would add the
# disk's page-fault and write-back work to every model step.
monitors_dir() {
  local base=/tmp
  [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && [ -w /dev/shm ] && base=/dev/shm
  dir=$(mktemp -d "$base/quill-$1-XXXXXX")
  pids=()
  trap monitors_cleanup EXIT
}
monitors_cleanup() {
  monitors_cleanup_processes
  rm -rf "$dir"
}
# Ends every process in $pids (waiting for those that are the script's children) and the tmux
# server, and empties $pids.
monitors_cleanup_processes() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  tmux -S "$dir/tmux.sock" kill-server 2>/dev/null || true
  pids=()
}

# Time on a CPU in nanoseconds (the scheduler's own account, finer than clock ticks).
cpu_ns() { awk '{ print $1 }' "/proc/$1/schedstat"; }

# per_refresh START_NS PID SECONDS: PID's CPU per 3-second refresh over the SECONDS since it had
# START_NS, in microseconds.
per_refresh() {
  awk -v a="$1" -v b="$(cpu_ns "$2")" -v s="$3" 'BEGIN { printf "%.1f", (b - a) / 1e3 / (s / 3) }'
}

# monitor_in_tmux NAME DEVICE APP WIDTHxHEIGHT [ENV]: APP as a monitor of DEVICE in a tmux
# session NAME of its own on the server of $dir/tmux.sock, with the further NAME=VALUE settings of
# ENV; prints the monitor's pid.
monitor_in_tmux() {
  local size=$4
  tmux -S "$dir/tmux.sock" -f /dev/null new-session -d -s "$1" -x "${size%x*}" -y "${size#*x}" \
    "exec env ${5:-} QUILLOMATICS_SMC_DEVICE=$2 XDG_CONFIG_HOME=$dir/config-$1 LANG=C.UTF-8 $3"
  tmux -S "$dir/tmux.sock" display-message -p -t "$1" '#{pane_pid}'
}
