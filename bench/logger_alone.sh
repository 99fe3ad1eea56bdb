#!/usr/bin/env bash
# Runs corvessa-logger for the benchmark: started by unshare in a mount namespace of its own,
# it gets a /dev, a /sys/class/tty and lock folders of its own, in which the pseudo-terminals
# PTY... are its only ports, "ttyBENCH0" and on. The namespace ends with the logger.
# Usage: unshare --mount --propagation private logger_alone.sh WORK LOGGER CONFIG PTY...
set -euo pipefail
work=$1 logger=$2 config=$3
shift 3
source "$(dirname "$0")/../scripts/lib/fake-machine.sh"
private_dev "$work/stage"
private_lock_folders
ports=()
for pty in "$@"; do
  pty_node "ttyBENCH${#ports[@]}" "$pty"
  ports+=("ttyBENCH${#ports[@]}")
done
fake_tty_class "$work/devices" "${ports[@]}"
exec "$logger" --config "$config" run 2>"$work/logger.err"
