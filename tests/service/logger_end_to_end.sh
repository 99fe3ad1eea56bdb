#!/usr/bin/env bash
# Runs the built corvessa-logger for real, in a private mount namespace where a fake
# /sys/class/tty lists the ports and pseudo-terminals sit where their device nodes would be.
#  1. Bad command lines end with status 2 and an unreadable settings file with status 1, the
#     file untouched either way.
#  2. Two ports stored as logging resume and log random bytes unchanged; enable of a third is
#     picked up without a restart, its default file in $LOGS_DIRECTORY; disable stops one;
#     list shows them; after a log file is moved away, SIGUSR1 goes on in a new file at the
#     path; SIGTERM ends the run with status 0 and complete files.
# Usage: logger_end_to_end.sh <corvessa-logger binary> <pty_feed binary>
set -euo pipefail
program=$(realpath "$1")
pty_feed=$(realpath "$2")
source "$(dirname "$0")/../../scripts/lib/fake-machine.sh"

enter_private_namespace corvessa-logger-e2e "$0" "$@"
work=$CORVESSA_WORK
end_started_programs_on_exit

fail() { echo "FAILED: $*"; [ -f "$work/logger.err" ] && cat "$work/logger.err"; exit 1; }

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DOCUMENTS_DIR=$work/home/Documents
export LOGS_DIRECTORY=$work/logs
unset JOURNAL_STREAM
mkdir -p "$HOME" "$XDG_DOCUMENTS_DIR" "$LOGS_DIRECTORY"
settings=$work/etc/settings.toml
mkdir -p "$(dirname "$settings")"
logger() { "$program" --config "$settings" "$@"; }

# --- 1. bad command lines change nothing ----------------------------------------------------
cat >"$settings" <<TOML
[ttyL0]
logging = 1
file = "$work/l0.log"
flowctrl = 0

[ttyL1]
logging = 1
file = "$work/l1.log"
flowctrl = 0
TOML
cp "$settings" "$work/settings.before"
expect_status() { # status, arguments...
  local want=$1 got=0
  shift
  logger "$@" >"$work/out" 2>"$work/err" || got=$?
  [ "$got" -eq "$want" ] || fail "$* ended with $got, not $want: $(cat "$work/err")"
  cmp -s "$settings" "$work/settings.before" || fail "$* changed the settings file"
}
expect_status 2 --bogus
expect_status 2 enable ttyL0 --parity 7
expect_status 2 enable ttyL0 --baud abc
expect_status 2 enable ttyL0 --stop-bits 3
expect_status 2 disable ttyNOPE
grep -q '^Usage:' "$work/err" || fail "bad usage printed no usage"
[ "$(head -1 "$work/err")" = "corvessa-logger: no port ttyNOPE is found or stored" ] ||
  fail "unexpected message: $(head -1 "$work/err")"
"$program" --version | grep -Eq '^corvessa-logger [0-9]+\.[0-9]+\.[0-9]+$' || fail "--version"

printf '[ttyL0\nlogging = 1\n' >"$work/broken.toml"
cp "$work/broken.toml" "$work/broken.before"
status=0
"$program" --config "$work/broken.toml" list 2>"$work/err" || status=$?
[ $status -eq 1 ] || fail "an unreadable settings file ended with $status, not 1"
grep -q "settings file $work/broken.toml cannot be read: not valid TOML at line 1" "$work/err" ||
  fail "unreadable settings: $(cat "$work/err")"
cmp -s "$work/broken.toml" "$work/broken.before" || fail "the unreadable file was changed"

# --- 2. a run ---------------------------------------------------------------------------------
private_dev "$work/stage"
private_lock_folders
declare -A feed_fd
plug() { # port number
  local fifo=$work/feed$1 link=$work/port$1 fd
  mkfifo "$fifo"
  "$pty_feed" "$link" <"$fifo" &
  pids+=($!)
  exec {fd}>"$fifo"
  feed_fd[$1]=$fd
  wait_for 5 test -e "$link" || fail "no pseudo-terminal was made for port $1"
  pty_node "ttyL$1" "$link"
}
send() { cat "$2" >&"${feed_fd[$1]}"; } # port number, file
logged() { cmp -s "$1" "$2"; }
expect_logged() { # log file, file of what it must hold, what
  wait_for 20 logged "$1" "$2" ||
    fail "$3: the log holds $(stat -c %s "$1" 2>/dev/null || echo 0) bytes, not the $(stat -c %s "$2") sent"
}
said() { grep -qF -- "$1" "$work/logger.err"; }
expect_said() { wait_for 10 said "$1" || fail "the logger did not say: $1"; }

for i in 0 1 2; do plug "$i"; done
fake_tty_class "$work/devices" ttyL0 ttyL1 ttyL2

"$program" --config "$settings" run 2>"$work/logger.err" &
logger_pid=$!
pids+=($logger_pid)
expect_said "ttyL0: Logging started ($work/l0.log, 9600 8N1)"
expect_said "ttyL1: Logging started ($work/l1.log, 9600 8N1)"
for i in 0 1; do
  head -c 100000 /dev/urandom >"$work/sent$i.bin"
  send "$i" "$work/sent$i.bin"
done
expect_logged "$work/l0.log" "$work/sent0.bin" "ttyL0"
expect_logged "$work/l1.log" "$work/sent1.bin" "ttyL1"

logger enable ttyL2 --baud 115200 --flow none || fail "enable ended with $?"
expect_said "ttyL2: Logging started ($LOGS_DIRECTORY/ttyL2port.txt, 115200 8N1)"
head -c 50000 /dev/urandom >"$work/sent2.bin"
send 2 "$work/sent2.bin"
expect_logged "$LOGS_DIRECTORY/ttyL2port.txt" "$work/sent2.bin" "the enabled ttyL2"

logger disable ttyL1 || fail "disable ended with $?"
expect_said "ttyL1: Logging stopped"
head -c 1000 /dev/urandom >"$work/late1.bin"
send 1 "$work/late1.bin"
logger list >"$work/list" || fail "list ended with $?"
[ "$(cut -f1,3,6 "$work/list")" = "$(printf 'ttyL0\tstored\tlogging\nttyL1\tstored\tnot logging\nttyL2\tstored\tlogging')" ] ||
  fail "list shows: $(cat "$work/list")"

mv "$work/l0.log" "$work/l0.log.1"
kill -USR1 "$logger_pid"
expect_said "corvessa-logger: log files reopen at their paths"
head -c 40000 /dev/urandom >"$work/after0.bin"
send 0 "$work/after0.bin"
expect_logged "$work/l0.log" "$work/after0.bin" "ttyL0 after SIGUSR1"
cmp -s "$work/l0.log.1" "$work/sent0.bin" || fail "the moved log changed after SIGUSR1"

head -c 30000 /dev/urandom >"$work/last2.bin"
send 2 "$work/last2.bin"
cat "$work/sent2.bin" "$work/last2.bin" >"$work/all2.bin"
expect_logged "$LOGS_DIRECTORY/ttyL2port.txt" "$work/all2.bin" "ttyL2 before SIGTERM"
kill -TERM "$logger_pid"
status=0
wait "$logger_pid" || status=$?
[ $status -eq 0 ] || fail "SIGTERM: the logger ended with $status"
expect_said "ttyL0: Logging stopped"
expect_said "ttyL2: Logging stopped"
cmp -s "$work/l1.log" "$work/sent1.bin" || fail "ttyL1 logged after its disable"
awk '/^\[ttyL0\]/{on=1;next} /^\[/{on=0} on' "$settings" | grep -qx "logging = 1" ||
  fail "the run changed ttyL0's stored settings"
echo "logger end-to-end: resumed, enabled, disabled, reopened and stopped with every byte in place"
