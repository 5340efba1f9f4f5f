#!/bin/sh
# Runs a command as root inside a Debian root made by debian-root.sh, with
# /proc, /dev, /dev/pts, /dev/shm and /sys mounted, and unmounts them
# whatever happens. Where it can, it runs in a mount namespace of its own, so
# that nothing it mounts is ever seen by, or left on, the machine.
#
# Usage: in-root.sh DIR COMMAND [ARG...]
set -eu
[ $# -ge 2 ] || { echo "usage: in-root.sh DIR COMMAND [ARG...]" >&2; exit 1; }
# Inside another root, whose / is no mount point, no private namespace can be
# made; there the trap alone unmounts.
if [ -z "${IN_ROOT_NAMESPACE:-}" ] && unshare --mount --propagation private true 2>/dev/null; then
    IN_ROOT_NAMESPACE=1 exec unshare --mount --propagation private "$0" "$@"
fi
root=$(cd "$1" && pwd)
shift

mounted=""
unmount_all() {
    for m in $mounted; do
        umount "$m" 2>/dev/null || umount -l "$m"
    done
}
trap unmount_all EXIT
trap 'exit 130' INT TERM HUP
mount_on() { # TARGET MOUNT-ARGS...
    target="$root$1"
    shift
    mkdir -p "$target"
    mount "$@" "$target"
    mounted="$target $mounted"
}
mount_on /proc -t proc proc
mount_on /sys -t sysfs sysfs
mount_on /dev --bind /dev
mount_on /dev/pts -t devpts -o newinstance,ptmxmode=0666 devpts
mount_on /dev/shm -t tmpfs -o mode=1777 tmpfs

# Names resolve as on the machine, so apt reaches the same archive.
cp /etc/resolv.conf "$root/etc/resolv.conf"
status=0
env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 TERM="${TERM:-dumb}" chroot "$root" "$@" || status=$?
exit $status
