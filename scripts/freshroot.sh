# A minimal Debian 12 root, as a fresh machine has it, for the checks that need one; sourced by
# scripts/package-check.sh and scripts/fresh-root-check.sh, which run as root.
#   make_fresh_root       debootstrap --variant=minbase bookworm into $root, a new folder under
#                         /var/tmp that is removed at exit; the mirror is GRELVIX_MIRROR,
#                         deb.debian.org by default
#   in_fresh_root SCRIPT  runs SCRIPT (a path inside the root) with sh under chroot, with /dev,
#                         /dev/pts, /proc and /sys mounted
#   step TEXT             says TEXT with the seconds since the root was begun

make_fresh_root() {
  mirror=${GRELVIX_MIRROR:-http://deb.debian.org/debian}
  started=$(date +%s)
  root=$(mktemp -d /var/tmp/grelvix-check.XXXXXX)
  chmod 755 "$root" # the root folder of a system: apt's own user must get through it
  # Mounts live in a mount namespace of their own and are gone with it; --one-file-system keeps
  # the removal out of anything still mounted all the same.
  trap 'rm -rf --one-file-system "$root"' EXIT INT TERM
  step "debootstrap --variant=minbase bookworm from $mirror"
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 || {
    tail -n 30 "$root.debootstrap.log" >&2
    rm -f "$root.debootstrap.log"
    exit 1
  }
  rm -f "$root.debootstrap.log"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
}

in_fresh_root() {
  # Standard input stays closed: apt and dpkg may read it.
  unshare --mount --propagation private sh -eu -c '
    mount --rbind /dev "$1/dev"
    mount -t proc proc "$1/proc"
    mount -t sysfs sysfs "$1/sys"
    chroot "$1" /bin/sh -eu "$2"
  ' sh "$root" "$1" </dev/null
}

step() { echo "== $(($(date +%s) - ${started:-$(date +%s)})) s: $*"; }
