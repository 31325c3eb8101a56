#!/usr/bin/env bash
# Installs a build into a scratch DESTDIR and runs the installed programs from there: the layout,
# the link on bin/, a snapshot, the tool's usage line, smc-sim's help, and (as root) the
# application starting the installed tool from its installed bundle. Exit status 77: skipped.
# Usage: install_test.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail
build=$1
scratch=$2
rm -rf "$scratch"
mkdir -p "$scratch"
fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR="$scratch/root" cmake --install "$build" --prefix /usr >"$scratch/install.log" ||
  fail "cmake --install: $(cat "$scratch/install.log")"
prefix=$scratch/root/usr
bundle=$prefix/lib/quillomatics/Quillomatics.app/Contents/MacOS
for f in "$prefix/bin/quillomatics" "$prefix/bin/smc-sim" "$bundle/Quillomatics" \
         "$bundle/ventwarden" "$prefix/share/doc/quillomatics/README.md" \
         "$prefix/share/doc/quillomatics/docs/architecture.md" \
         "$prefix/share/doc/quillomatics/profiles-NOTICE"; do
  [ -e "$f" ] || fail "$f was not installed"
done
[ "$(readlink "$prefix/bin/quillomatics")" = ../lib/quillomatics/Quillomatics.app/Contents/MacOS/Quillomatics ] ||
  fail "bin/quillomatics is not a relative link to the application"
# The manifest lists everything installed, the link too: it is what uninstalling removes.
installed=$(cd "$scratch/root" && find . ! -type d | sed 's/^\.//' | sort)
listed=$(sed "s|^$scratch/root||" "$build/install_manifest.txt" | sort)
[ "$installed" = "$listed" ] || fail "install_manifest.txt does not list what was installed:
$(diff <(echo "$installed") <(echo "$listed"))"

# The installed programs, run through bin/.
"$prefix/bin/smc-sim" --help | grep -q "^Usage: smc-sim" || fail "smc-sim --help"
device=$scratch/smc.dev
"$prefix/bin/smc-sim" create --profile macbookpro16-1 --frozen "$device" >/dev/null
export QUILLOMATICS_SMC_DEVICE=$device XDG_CONFIG_HOME=$scratch/config
usage=$("$bundle/ventwarden" 2>&1) && fail "ventwarden without a command succeeded"
[ "$usage" = "Usage: ventwarden [max|auto|proactive]" ] || fail "ventwarden's usage line: $usage"
json=$("$prefix/bin/quillomatics" --snapshot) || fail "the snapshot failed"
case $json in
  *'"fanCount": 2'*) ;;
  *) fail "the snapshot shows no fans: $json" ;;
esac

# The application finds its tool in the installed bundle: as root it starts Proactive Cooling
# itself, and the running tool's executable is the installed one.
if [ "$(id -u)" -ne 0 ]; then
  echo "the tool's start from the installed bundle needs root: skipped" >&2
  exit 77
fi
pid_file=/tmp/quillomatics_proactive.pid
fifo=$scratch/keys
mkfifo "$fifo"
"$prefix/bin/quillomatics" <"$fifo" >"$scratch/monitor.out" 2>&1 &
app=$!
exec 3>"$fifo"
echo p >&3
tool_exe=
for _ in $(seq 100); do
  pid=$(cat "$pid_file" 2>/dev/null || true)
  if [ -n "$pid" ] && tool_exe=$(readlink "/proc/$pid/exe" 2>/dev/null); then
    break
  fi
  sleep 0.1
done
echo q >&3
exec 3>&-
wait "$app" || fail "the monitor ended with status $?: $(cat "$scratch/monitor.out")"
[ "$tool_exe" = "$(readlink -f "$bundle/ventwarden")" ] ||
  fail "Proactive Cooling ran '${tool_exe:-nothing}', not the installed tool"
echo "installed under $prefix; the application ran $tool_exe"
