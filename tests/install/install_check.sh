#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop and a package expect
# of it: exactly the files listed in installed_files.txt under the prefix, a desktop entry and
# AppStream metadata that validate, manual pages without warnings, a unit whose ExecStart is
# the installed logger, and programs that start from the installed tree: corvessa-logger
# --version, and the window (offscreen, in a private mount namespace whose /sys/class/tty
# lists no port) ended by SIGTERM with status 0.
# Usage: install_check.sh BUILD_DIR EXPECTED_FILES VERSION
set -euo pipefail
build=$1 expected=$2 version=$3
source "$(dirname "$0")/../../scripts/lib/fake-machine.sh"
fail() { echo "FAILED: $*"; exit 1; }

if [ -z "${CORVESSA_INSTALL_WORK:-}" ]; then
  work=$(mktemp -d /tmp/corvessa-install.XXXXXX)
  trap 'rm -rf --one-file-system "$work"' EXIT
  prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
  DESTDIR=$work/root cmake --install "$build" >"$work/install.log" || fail "cmake --install: $(cat "$work/install.log")"
  root=$work/root$prefix
  (cd "$root" && find . \( -type f -o -type l \) | sed 's|^\./||' | LC_ALL=C sort) >"$work/files"
  LC_ALL=C sort "$expected" | diff -u - "$work/files" || fail "the installed files differ from $expected"

  desktop-file-validate "$root/share/applications/com.vantreck_software.Corvessa.desktop" ||
    fail "desktop-file-validate"
  appstreamcli validate --no-net "$root/share/metainfo/com.vantreck_software.Corvessa.metainfo.xml" \
    >"$work/appstream.log" 2>&1 || fail "appstreamcli validate: $(cat "$work/appstream.log")"
  for page in "$root"/share/man/man1/*.1.gz; do
    mandoc -T lint -W warning "$page" || fail "mandoc finds faults in $page"
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man --warnings on $page: $warnings"
  done
  grep -qx "ExecStart=$prefix/bin/corvessa-logger --config /etc/corvessa/settings.toml run" \
    "$root/lib/systemd/system/corvessa-logger.service" || fail "the unit does not start the installed logger"

  [ "$("$root/bin/corvessa-logger" --version)" = "corvessa-logger $version" ] ||
    fail "the installed corvessa-logger --version says: $("$root/bin/corvessa-logger" --version)"

  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED (the installed window): needs root for a private mount namespace"
    exit 77
  fi
  status=0
  CORVESSA_INSTALL_WORK=$work unshare --mount --propagation unchanged "$0" "$@" "$root" || status=$?
  exit $status
fi

# Inside the namespace: the installed window, with no port to find. Where the root is no mount
# point (a chroot), /sys must already be private, or the fake port list would reach the machine.
work=$CORVESSA_INSTALL_WORK root=$4
if ! mount --make-rprivate / 2>/dev/null; then
  findmnt -n -o PROPAGATION --target /sys | grep -q '^private' || {
    echo "SKIPPED (the installed window): /sys is shared with the machine here"
    exit 77
  }
fi
mkdir -p "$work/devices"
fake_tty_class "$work/devices"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
QT_QPA_PLATFORM=offscreen "$root/bin/corvessa" >"$work/window.log" 2>&1 &
window=$!
sleep 2
kill -0 "$window" 2>/dev/null || fail "the installed window did not stay up: $(cat "$work/window.log")"
kill -TERM "$window"
status=0
wait "$window" || status=$?
[ $status -eq 0 ] || fail "the installed window ended with $status after SIGTERM: $(cat "$work/window.log")"
echo "install check: $(wc -l <"$expected") files in place, metadata valid, both programs start from the installed tree"
