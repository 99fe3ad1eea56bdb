#!/usr/bin/env bash
# Checks the configured systemd unit of corvessa-logger: systemd-analyze verify must have no
# complaint about it, and its security exposure must be at most 3.0. Needs no running systemd.
#   Usage: unit_check.sh CONFIGURED_UNIT WORK_FOLDER
set -u

fail() { echo "unit_check: $*" >&2; exit 1; }

[ $# -eq 2 ] && [ -n "$2" ] || { echo "usage: unit_check.sh CONFIGURED_UNIT WORK_FOLDER" >&2; exit 2; }
unit_file=$1
work=$2
[ -f "$unit_file" ] || fail "no unit file at $unit_file"
command -v systemd-analyze >/dev/null || fail "systemd-analyze is not installed"

# verify takes a unit's name from its file name, and loads every unit beside it: a folder of
# its own keeps it to this one.
name=corvessa-logger.service
dir=$work/unit-check
rm -rf "$dir" && mkdir -p "$dir" || fail "cannot make $dir"
unit=$dir/$name
cp "$unit_file" "$unit" || fail "cannot copy $unit_file"

# The man page is not installed where this runs, and generators would bring in this
# machine's own units.
# --recursive-errors=no: any complaint about this unit, and only this unit, sets the exit code.
verify_out=$dir/verify.out
systemd-analyze verify --recursive-errors=no --man=no --generators=no "$unit" >"$verify_out" 2>&1
verify_rc=$?
complaints=$(grep -F "$name" "$verify_out")
if [ $verify_rc -ne 0 ] || [ -n "$complaints" ]; then
  echo "${complaints:-$(cat "$verify_out")}" >&2
  fail "systemd-analyze verify found faults in the unit (exit $verify_rc)"
fi

# --threshold counts in tenths of the printed level: 30 is an exposure of 3.0.
security_out=$dir/security.out
systemd-analyze security --offline=yes --threshold=30 --no-pager "$unit" >"$security_out" 2>&1
security_rc=$?
overall=$(grep -F "Overall exposure level for $name" "$security_out")
[ -n "$overall" ] || { cat "$security_out" >&2; fail "systemd-analyze security gave no exposure level"; }
echo "$overall"
level=$(echo "$overall" | sed -n 's/.*: \([0-9]*\)\.\([0-9]\) .*/\1\2/p')
[ -n "$level" ] || fail "cannot read the exposure level"
if [ $((10#$level)) -gt 30 ]; then
  grep -E ' [0-9]+\.[0-9]$' "$security_out" >&2  # what counts against it
  fail "exposure is above 3.0"
fi
[ $security_rc -eq 0 ] || { cat "$security_out" >&2; fail "systemd-analyze security failed (exit $security_rc)"; }
echo "unit_check: the unit verifies and its exposure is within 3.0"
