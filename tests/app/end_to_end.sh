#!/usr/bin/env bash
# Runs the built program for real: under Xvfb, in a private mount namespace where a fake
# /sys/class/tty lists the ports and pseudo-terminals sit where their device nodes would be.
#  1. A port that was logging at the last quit resumes by itself and logs the bytes sent to it
#     unchanged; a quit answered Yes with real key presses saves both ports.
#  2. Started again, the port is unplugged and plugged in again and logs on into the same file;
#     an adapter plugged in while the program runs gets a row and resumes; SIGTERM ends the
#     program with exit status 0, every byte written and every port saved.
#  3. Started again, both logging ports resume; a stop by the user is saved at once, so it
#     survives a SIGKILL.
# Usage: end_to_end.sh <corvessa binary> <pty_feed binary>
set -euo pipefail
program=$(realpath "$1")
pty_feed=$(realpath "$2")
source "$(dirname "$0")/../../scripts/lib/fake-machine.sh"

enter_private_namespace corvessa-e2e "$0" "$@"
work=$CORVESSA_WORK
end_started_programs_on_exit

fail() { echo "FAILED: $*"; exit 1; }
# No window manager runs: point at the window and give it the keyboard ourselves.
focus() {
  xdotool mousemove --window "$1" 20 20
  xdotool windowfocus --sync "$1"
}

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DOCUMENTS_DIR=$work/home/Documents
export XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$XDG_CONFIG_HOME/Vantreck Software/Corvessa" "$XDG_DOCUMENTS_DIR" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
head -c 200000 /dev/urandom >"$work/sent.bin"

# A /dev of our own: only what the program and the tools need, and the two ports.
private_dev "$work/stage"
private_lock_folders

# A pseudo-terminal per port, fed through a fifo that stays open for writing until the port is
# unplugged, so its far end hangs up only then.
declare -A feed_pid feed_fd
plug() { # port number
  local fifo=$work/feed$1.$RANDOM link=$work/port$1.$RANDOM fd
  mkfifo "$fifo"
  "$pty_feed" "$link" <"$fifo" &
  feed_pid[$1]=$!
  pids+=($!)
  exec {fd}>"$fifo"
  feed_fd[$1]=$fd
  wait_for 5 test -e "$link" || fail "no pseudo-terminal was made for port $1"
  pty_node "ttyE2E$1" "$link"
}
unplug() { # port number
  kill "${feed_pid[$1]}"
  eval "exec ${feed_fd[$1]}>&-"
  rm "/dev/ttyE2E$1"
}
send() { # port number, file
  cat "$2" >&"${feed_fd[$1]}"
}
logged() { # log file, file of what it must hold
  [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$(stat -c %s "$2")" ] && cmp -s "$1" "$2"
}
expect_logged() { # log file, file of what it must hold, what
  wait_for 20 logged "$1" "$2" ||
    fail "$3: the log holds $(stat -c %s "$1" 2>/dev/null || echo 0) bytes, not the $(stat -c %s "$2") sent"
}

start_program() {
  "$program" >>"$work/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Corvessa \[Pellory\]$' | head -1) ||
    fail "the window did not appear"
}
exited() { ! kill -0 "$program_pid" 2>/dev/null; }
expect_exit_0() { # why it ends
  wait_for 15 exited || fail "the program did not end after $1"
  wait "$program_pid" || fail "the program ended with an error after $1: $(cat "$work/program.log")"
}

settings="$XDG_CONFIG_HOME/Vantreck Software/Corvessa/settings.toml"
table_of() { # port
  awk -v t="[$1]" '$0 == t || $0 == "[\"" substr(t, 2, length(t) - 2) "\"]" {on=1; next} /^\[/ {on=0} on' "$settings"
}
expect_saved() { # port, logging value
  local table
  table=$(table_of "$1")
  for name in logging file append baudrate databits parity stopbits flowctrl; do
    grep -q "^$name = " <<<"$table" || fail "$1: \"$name\" was not saved"
  done
  grep -qx "logging = $2" <<<"$table" || fail "$1: logging saved as $(grep '^logging' <<<"$table")"
}
saved_as() { grep -qx "logging = $2" <<<"$(table_of "$1")"; }

for i in 0 1; do plug "$i"; done
fake_tty_class "$work/devices" ttyE2E0 ttyE2E1

cat >"$settings" <<TOML
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

# --- 1. resume, log, quit with the question -------------------------------------------------
start_program
# An ordinary window, which every taskbar lists: not a dialog, not transient for another.
types=$(xprop -id "$window" _NET_WM_WINDOW_TYPE WM_TRANSIENT_FOR)
grep -q '_NET_WM_WINDOW_TYPE_NORMAL' <<<"$types" || fail "window type: $types"
grep -q 'WM_TRANSIENT_FOR:  not found' <<<"$types" || fail "the window is transient: $types"

head -c 200000 /dev/urandom >"$work/sent.bin"
send 0 "$work/sent.bin"
expect_logged "$work/port0.log" "$work/sent.bin" "the resumed port"

# Quit with Escape; the question comes because a port logs; Enter answers its default, Yes.
focus "$window"
xdotool key Escape
question=$(timeout 10 xdotool search --sync --onlyvisible --name '^Corvessa$' | head -1) || fail "no quit question"
focus "$question"
xdotool key Return
expect_exit_0 "Yes"
expect_saved ttyE2E0 1
expect_saved ttyE2E1 0
grep -q "baudrate = 115200" "$settings" || fail "the resumed port's baud rate was not kept"

# --- 2. unplug and replug, a port plugged in later, SIGTERM ---------------------------------
cat >>"$settings" <<TOML

[ttyE2E2]
logging = 1
file = "$work/port2.log"
TOML
start_program
head -c 30000 /dev/urandom >"$work/before.bin"
head -c 50000 /dev/urandom >"$work/after.bin"
send 0 "$work/before.bin"
expect_logged "$work/port0.log" "$work/before.bin" "before the unplug"
unplug 0
sleep 0.3
plug 0
send 0 "$work/after.bin"
cat "$work/before.bin" "$work/after.bin" >"$work/both.bin"
expect_logged "$work/port0.log" "$work/both.bin" "across the unplug"

mkdir -p "/sys/class/tty/ttyE2E2" "$work/devices/ttyE2E2"
ln -s "$work/devices/ttyE2E2" /sys/class/tty/ttyE2E2/device
echo "DEVNAME=ttyE2E2" >/sys/class/tty/ttyE2E2/uevent
plug 2
head -c 40000 /dev/urandom >"$work/plugged.bin"
send 2 "$work/plugged.bin"
expect_logged "$work/port2.log" "$work/plugged.bin" "the port plugged in later"

kill -TERM "$program_pid"
expect_exit_0 "SIGTERM"
cmp -s "$work/port0.log" "$work/both.bin" || fail "SIGTERM: port 0's log is not complete"
expect_saved ttyE2E0 1
expect_saved ttyE2E1 0
saved_as ttyE2E2 1 || fail "SIGTERM: the port plugged in later was not saved as logging"

# --- 3. both resume; a stop is saved at once and survives SIGKILL ---------------------------
start_program
head -c 20000 /dev/urandom >"$work/again0.bin"
head -c 20000 /dev/urandom >"$work/again2.bin"
send 0 "$work/again0.bin"
send 2 "$work/again2.bin"
expect_logged "$work/port0.log" "$work/again0.bin" "port 0 after the restart"
expect_logged "$work/port2.log" "$work/again2.bin" "port 2 after the restart"
# Enter stops the current port, the first one.
focus "$window"
xdotool key Return
wait_for 10 saved_as ttyE2E0 0 || fail "the stop was not saved at once"
kill -KILL "$program_pid"
wait "$program_pid" 2>/dev/null || true
saved_as ttyE2E0 0 || fail "SIGKILL: the saved stop was lost"
saved_as ttyE2E2 1 || fail "SIGKILL: port 2 lost its settings"
echo "end-to-end: resumed, replugged and late ports logged unchanged; quit, SIGTERM and SIGKILL kept every setting"
