#!/usr/bin/env bash
# Runs the built program for real: under Xvfb, in a private mount namespace where a fake
# /sys/class/tty lists two ports and pseudo-terminals sit where their device nodes would be.
# One port was logging at the last quit; it must resume by itself, log the bytes sent to it
# unchanged, and after a quit answered Yes with real key presses both ports' settings must
# be saved. Usage: end_to_end.sh <corvessa binary> <pty_feed binary>
set -euo pipefail
program=$(realpath "$1")
pty_feed=$(realpath "$2")
source "$(dirname "$0")/../../scripts/lib/fake-machine.sh"

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIPPED: needs root for a private mount namespace"
  exit 77
fi
# The outer run makes the work folder and removes it once the namespace, and with it every
# mount made inside, is gone: nothing is ever deleted through a mount.
if [ -z "${CORVESSA_E2E_WORK:-}" ]; then
  work=$(mktemp -d /tmp/corvessa-e2e.XXXXXX)
  status=0
  CORVESSA_E2E_WORK=$work unshare --mount --propagation unchanged "$0" "$@" || status=$?
  rm -rf --one-file-system "$work"
  exit $status
fi

work=$CORVESSA_E2E_WORK
# Nothing mounted here may reach the machine: make every mount private, or, where the root
# is no mount point (a chroot), make sure the ones this test covers already are.
if ! mount --make-rprivate / 2>/dev/null; then
  for target in /dev /sys /tmp; do
    findmnt -n -o PROPAGATION --target "$target" | grep -q '^private' || {
      echo "SKIPPED: $target is shared with the machine and cannot be made private here"
      exit 77
    }
  done
fi
pids=()
cleanup() {
  exec 3>&- 4>&-
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

fail() { echo "FAILED: $*"; exit 1; }
# No window manager runs: point at the window and give it the keyboard ourselves.
focus() {
  xdotool mousemove --window "$1" 20 20
  xdotool windowfocus --sync "$1"
}
wait_for() { # seconds, command...
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DOCUMENTS_DIR=$work/home/Documents
export XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$XDG_CONFIG_HOME/Vantreck Software/Corvessa" "$XDG_DOCUMENTS_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
head -c 200000 /dev/urandom >"$work/sent.bin"

# A /dev of our own: only what the program and the tools need, and the two ports.
private_dev "$work/stage"

# Two pseudo-terminals, each fed through a fifo that stays open for writing until the end,
# so the far ends never hang up.
for i in 0 1; do
  mkfifo "$work/feed$i"
  "$pty_feed" "$work/port$i" <"$work/feed$i" &
  pids+=($!)
done
exec 3>"$work/feed0" 4>"$work/feed1"
wait_for 5 test -e "$work/port0" -a -e "$work/port1" || fail "no pseudo-terminals were made"
for i in 0 1; do pty_node "ttyE2E$i" "$work/port$i"; done
# The fake sysfs lists exactly those two ports.
fake_tty_class "$work/devices" ttyE2E0 ttyE2E1

cat >"$XDG_CONFIG_HOME/Vantreck Software/Corvessa/settings.toml" <<TOML
[ttyE2E0]
logging = 1
file = "$work/port0.log"
append = 0
baudrate = 115200
databits = 3
parity = 0
stopbits = 0
flowctrl = 0
TOML

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display QT_QPA_PLATFORM=xcb
wait_for 10 xdotool getmouselocation >/dev/null 2>&1 || fail "Xvfb did not start"

"$program" >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Corvessa \[Pellory\]$' | head -1) ||
  fail "the window did not appear"

# An ordinary window, which every taskbar lists: not a dialog, not transient for another.
types=$(xprop -id "$window" _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR)
grep -q '_NET_WM_WINDOW_TYPE_NORMAL' <<<"$types" || fail "window type: $types"
grep -q 'WM_TRANSIENT_FOR:  not found' <<<"$types" || fail "the window is transient: $types"

cat "$work/sent.bin" >&3
size_reached() { [ "$(stat -c %s "$work/port0.log" 2>/dev/null || echo 0)" -ge 200000 ]; }
wait_for 20 size_reached || fail "the resumed port logged $(stat -c %s "$work/port0.log" 2>/dev/null) of 200000 bytes"
cmp "$work/sent.bin" "$work/port0.log" || fail "the log differs from what was sent"

# Quit with Escape; the question comes because a port logs; Enter answers its default, Yes.
focus "$window"
xdotool key Escape
question=$(timeout 10 xdotool search --sync --onlyvisible --name '^Corvessa$' | head -1) || fail "no quit question"
focus "$question"
xdotool key Return
exited() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_for 15 exited || fail "the program did not end after Yes"
wait "$program_pid" || fail "the program ended with an error: $(cat "$work/program.log")"

settings="$XDG_CONFIG_HOME/Vantreck Software/Corvessa/settings.toml"
expect_saved() { # port, logging value
  local table
  table=$(awk -v t="[$1]" '$0 == t || $0 == "[\"" substr(t, 2, length(t) - 2) "\"]" {on=1; next} /^\[/ {on=0} on' "$settings")
  for name in logging file append baudrate databits parity stopbits flowctrl; do
    grep -q "^$name = " <<<"$table" || fail "$1: \"$name\" was not saved"
  done
  grep -qx "logging = $2" <<<"$table" || fail "$1: logging saved as $(grep '^logging' <<<"$table")"
}
expect_saved ttyE2E0 1
expect_saved ttyE2E1 0
grep -q "baudrate = 115200" "$settings" || fail "the resumed port's baud rate was not kept"
echo "end-to-end: the resumed port logged 200000 bytes unchanged; both ports saved"
