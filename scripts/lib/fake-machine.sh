# Sourced by scripts and tests that run the real program inside a private mount namespace:
# a /dev that holds only what the program and the tools need, pseudo-terminals where serial
# device nodes would be, and a /sys/class/tty that lists exactly the ports asked for. Every
# mount lands in the caller's namespace only; the caller removes its work folder after the
# namespace is gone, never through a mount.

# enter_private_namespace PREFIX SCRIPT ARGS...: called first, makes a work folder under /tmp,
# runs SCRIPT again in a mount namespace of its own and removes the folder once the namespace,
# and with it every mount made inside, is gone (nothing is ever deleted through a mount); then
# exits with the script's status. Called again inside, it returns with CORVESSA_WORK naming the
# folder and every mount private, or, where the root is no mount point (a chroot), with the
# ones the fakes cover already private; it skips (77) where neither can be.
enter_private_namespace() {
  local prefix=$1 target status=0
  shift
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: needs root for a private mount namespace"
    exit 77
  fi
  if [ -z "${CORVESSA_WORK:-}" ]; then
    CORVESSA_WORK=$(mktemp -d "/tmp/$prefix.XXXXXX")
    export CORVESSA_WORK
    unshare --mount --propagation unchanged "$@" || status=$?
    rm -rf --one-file-system "$CORVESSA_WORK"
    exit $status
  fi
  mount --make-rprivate / 2>/dev/null && return 0
  for target in /dev /sys /tmp; do
    findmnt -n -o PROPAGATION --target "$target" | grep -q '^private' || {
      echo "SKIPPED: $target is shared with the machine and cannot be made private here"
      exit 77
    }
  done
}

# end_started_programs_on_exit: the programs the script starts, their ids added to `pids`,
# are ended when it exits, however it exits.
end_started_programs_on_exit() {
  pids=()
  trap 'for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait 2>/dev/null || true' EXIT
}

# wait_for SECONDS COMMAND...: true once COMMAND succeeds, false when the time is up.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# private_dev STAGE: replaces /dev by a tmpfs. The real nodes it keeps are staged under the
# empty folder STAGE first, since the new /dev hides the old one.
private_dev() {
  local stage=$1 node
  mkdir -p "$stage" && mount -t tmpfs tmpfs "$stage"
  for node in null zero urandom random tty; do
    touch "$stage/$node" && mount --bind "/dev/$node" "$stage/$node"
  done
  mkdir "$stage/pts" && mount --bind /dev/pts "$stage/pts"
  mount -t tmpfs tmpfs /dev
  for node in null zero urandom random tty; do
    touch "/dev/$node" && mount --bind "$stage/$node" "/dev/$node"
  done
  mkdir /dev/pts /dev/shm && mount --bind "$stage/pts" /dev/pts && mount -t tmpfs tmpfs /dev/shm
  ln -s pts/ptmx /dev/ptmx
}

# private_lock_folders: the UUCP lock folders (/run/lock, and /var/lock where it is a folder of
# its own) become empty tmpfs mounts, so that the lock files the program makes for the fake
# ports, and any it leaves behind when it is killed, never reach the machine's. Only where the
# mount would stay private: where it would not (a chroot whose root is no mount point), the
# folder is the chroot's own and not the machine's anyway.
private_lock_folders() {
  local folder
  for folder in /run/lock /var/lock; do
    [ -d "$folder" ] && [ ! -L "$folder" ] || continue
    findmnt -n -o PROPAGATION --target "$folder" | grep -q '^private' || continue
    mount -t tmpfs tmpfs "$folder"
  done
  return 0
}

# pty_node NAME PTY: puts the pseudo-terminal PTY (its path, or a link to it) at /dev/NAME, as
# a link made once the pseudo-terminal exists, as udev makes a node once the device is there.
pty_node() {
  ln -s "$(readlink -f "$2")" "/dev/$1"
}

# fake_tty_class DEVICES NAME...: /sys/class/tty lists exactly the ports NAME..., each with a
# device (a folder under DEVICES) and its node name.
fake_tty_class() {
  local devices=$1 port
  shift
  mount -t tmpfs tmpfs /sys/class/tty
  for port in "$@"; do
    mkdir -p "/sys/class/tty/$port" "$devices/$port"
    ln -s "$devices/$port" "/sys/class/tty/$port/device"
    echo "DEVNAME=$port" >"/sys/class/tty/$port/uevent"
  done
}
