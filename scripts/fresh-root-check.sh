#!/bin/sh
# Runs the whole of scripts/test.sh as a newcomer would on a fresh Debian 12: a minimal bookworm
# root made with debootstrap (without /etc/hosts, as such roots are), a clean clone of this
# checkout's HEAD in it, and scripts/test.sh run there under chroot. Says how long it took and
# how many packages test.sh installed. Needs root and a Debian mirror (GRELVIX_MIRROR); takes
# about half an hour on two cores. Not part of .ci/run.
#   scripts/fresh-root-check.sh
set -eu
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "Needs root (debootstrap, chroot)." >&2
  exit 1
fi
./scripts/install-deps.sh --package
. ./scripts/freshroot.sh

make_fresh_root
if [ -e "$root/etc/hosts" ]; then
  echo "the new root has an /etc/hosts: the check wants a root without one" >&2
  exit 1
fi
git clone --quiet --no-hardlinks "$(pwd)" "$root/root/grelvix"
step "clean clone of $(git rev-parse --short HEAD) in the new root"

cat >"$root/tmp/check.sh" <<'INSIDE'
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 HOME=/root
before=$(dpkg-query -W -f '${Package}\n' | wc -l)
cd /root/grelvix
status=0
./scripts/test.sh || status=$?
echo "test.sh installed $(($(dpkg-query -W -f '${Package}\n' | wc -l) - before)) packages" \
  "(the root had $before)"
[ -e /etc/hosts ] && echo "/etc/hosts appeared in the root" || echo "no /etc/hosts in the root"
exit $status
INSIDE

step "scripts/test.sh (in the new root)"
if in_fresh_root /tmp/check.sh; then
  step "passed"
else
  step "FAILED"
  exit 1
fi
