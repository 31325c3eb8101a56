#!/usr/bin/env bash
# Instructions per refresh of the running monitor, counted by callgrind: the monitor without a
# terminal (the plain-text refresh) and in a terminal with its menu open, each against a simulated
# Mac of its own. Start-up is left out: counting starts a few seconds after launch and stops
# SECONDS later. Prints per case the instructions per refresh and the functions that run most of
# them. Give two builds to compare them in the same run.
# Usage: bench/refresh_instructions.sh [SECONDS] BUILD_DIR [BUILD_DIR]
set -euo pipefail
seconds=30
if [[ ${1:-} =~ ^[0-9]+$ ]]; then seconds=$1; shift; fi
[ $# -ge 1 ] || { sed -n '7s/^# //p' "$0" >&2; exit 2; }
for tool in valgrind callgrind_control tmux python3; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done

dir=$(mktemp -d /tmp/quill-instructions-XXXXXX)
cleanup() {
  for sock in "$dir"/*.sock; do
    [ -e "$sock" ] && tmux -S "$sock" kill-server 2>/dev/null || true
  done
  rm -rf "$dir"
}
trap cleanup EXIT

# report NAME OUTFILE: instructions per refresh (per call of AppDelegate::updateReadings), the
# share of the simulated Mac's thermal model (which a real Mac does not charge the monitor), and
# the twelve functions with the most instructions of their own.
report() {
  python3 - "$1" "$2" <<'PY'
import re, sys
name, path = sys.argv[1:3]
names, self_cost, inclusive, calls = {}, {}, {}, {}
fn = None
after_calls = False
total = 0
for line in open(path, errors="replace"):
    line = line.rstrip("\n")
    m = re.match(r"^(c?fn)=\((\d+)\)(?: (.*))?$", line)
    if m:
        kind, ident, text = m.groups()
        if text:
            names[ident] = text
        if kind == "fn":
            fn = ident
        else:
            callee = ident
        continue
    if line.startswith("calls="):
        calls[callee] = calls.get(callee, 0) + int(line.split("=")[1].split()[0])
        after_calls = True
        continue
    if line.startswith("summary:"):
        total = int(line.split()[1])
    if re.match(r"^([+-]?\d|\*)", line):
        parts = line.split()
        if len(parts) < 2 or fn is None:
            continue
        cost = int(parts[1])
        inclusive[fn] = inclusive.get(fn, 0) + cost
        if after_calls:  # the inclusive cost of the call just named
            after_calls = False
            continue
        self_cost[fn] = self_cost.get(fn, 0) + cost
# The delegate's refresh, with or without its namespace (builds from before it had one).
refresh = re.compile(r"(app::)?AppDelegate::updateReadings\(")
refreshes = sum(n for i, n in calls.items() if refresh.match(names.get(i, "")))
if refreshes == 0:
    sys.exit(f"{name}: no refresh counted")
model = sum(c for i, c in inclusive.items() if names.get(i, "").startswith("sim::model::run("))
print(f"{name}: {total / refreshes:,.0f} instructions per refresh ({refreshes} refreshes), "
      f"of which the simulated Mac's model {model / refreshes:,.0f}")
for ident, cost in sorted(self_cost.items(), key=lambda kv: -kv[1])[:12]:
    label = re.sub(r"\(.*", "", names.get(ident, "?"))[:70]
    print(f"  {cost / refreshes:9,.0f}  {label}")
PY
}

# measure BUILD TAG: both cases of one build.
measure() {
  local build=$1 tag=$2 app pid
  app=$(realpath "$build/Quillomatics.app/Contents/MacOS/Quillomatics")
  "$build/sim/smc-sim" create --profile macbookpro16-1 "$dir/$tag-plain.dev" >/dev/null
  "$build/sim/smc-sim" create --profile macbookpro16-1 "$dir/$tag-open.dev" >/dev/null
  QUILLOMATICS_SMC_DEVICE="$dir/$tag-plain.dev" XDG_CONFIG_HOME="$dir/config-$tag-plain" \
    valgrind --tool=callgrind --callgrind-out-file="$dir/$tag-plain.out" "$app" \
    </dev/null >/dev/null 2>"$dir/$tag-plain.log" &
  plain=$!
  tmux -S "$dir/$tag.sock" -f /dev/null new-session -d -s open -x 100 -y 50 \
    "exec env QUILLOMATICS_SMC_DEVICE=$dir/$tag-open.dev XDG_CONFIG_HOME=$dir/config-$tag-open \
LANG=C.UTF-8 valgrind --tool=callgrind --callgrind-out-file=$dir/$tag-open.out $app 2>$dir/$tag-open.log"
  open=$(tmux -S "$dir/$tag.sock" display-message -p -t open '#{pane_pid}')
  pids+=("$plain" "$open")
}

pids=()
measure "$1" first
[ $# -ge 2 ] && measure "$2" second
sleep 6
for pid in "${pids[@]}"; do callgrind_control --zero "$pid" >/dev/null 2>&1; done
sleep "$seconds"
for pid in "${pids[@]}"; do callgrind_control --dump "$pid" >/dev/null 2>&1; done
sleep 1
for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
wait 2>/dev/null || true

for tag in first second; do
  [ -e "$dir/$tag-plain.out.1" ] || continue
  build=$1
  [ "$tag" = second ] && build=$2
  echo "== $build"
  report "no terminal" "$dir/$tag-plain.out.1"
  report "menu open in a terminal" "$dir/$tag-open.out.1"
done
