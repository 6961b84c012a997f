#!/usr/bin/env bash
# Makes, once, a minimal Debian 11 (bullseye) userland for one architecture in a
# folder outside the clone, so that later runs and CI on the same machine reuse it.
#   bullseye-root.sh ARCH DIR PACKAGE...
# A finished tree carries the marker DIR/.tallowfit-root-ready, which lists the
# packages; a tree with that marker and the same packages is reused as it is.
# A half-made tree (debootstrap interrupted) is removed and made again.
# Needs root and network access to the Debian archive; installs debootstrap with
# apt-get when it is missing.
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 ARCH DIR [PACKAGE...]" >&2
    exit 2
fi
arch=$1
root=$2
shift 2
packages=$(printf '%s\n' "$@" | sort | paste -sd, -)
marker="$root/.tallowfit-root-ready"
mirror=${TALLOWFIT_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if [ -f "$marker" ] && [ "$(cat "$marker")" = "bullseye $arch $packages" ]; then
    exit 0
fi
if [ "$(id -u)" != 0 ]; then
    echo "bullseye-root: making $root needs root" >&2
    exit 1
fi
if ! command -v debootstrap >/dev/null 2>&1; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null \
        || { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null; }
fi

mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock 9
# Another run may have finished the tree while this one waited for the lock.
if [ -f "$marker" ] && [ "$(cat "$marker")" = "bullseye $arch $packages" ]; then
    exit 0
fi

if [ -d "$root" ]; then
    if [ -f "$marker" ]; then
        # Finished before with other packages: add the missing ones.
        echo "bullseye-root: adding packages to $root"
        cp /etc/resolv.conf "$root/etc/resolv.conf"
        mount -t proc proc "$root/proc"
        mount --bind /dev "$root/dev"
        trap 'umount "$root/dev"; umount "$root/proc"' EXIT
        chroot "$root" apt-get update -qq
        chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"
        chroot "$root" apt-get clean
        echo "bullseye $arch $packages" > "$marker"
        exit 0
    fi
    if [ -d "$root/debootstrap" ] || [ -z "$(ls -A "$root")" ]; then
        echo "bullseye-root: removing the unfinished tree $root"
        rm -rf --one-file-system "$root"
    else
        echo "bullseye-root: $root exists and is not a tree made here; remove it or choose another folder" >&2
        exit 1
    fi
fi

echo "bullseye-root: making a Debian 11 $arch userland in $root (a few minutes, once)"
debootstrap --arch="$arch" --variant=minbase --include="$packages" bullseye "$root" "$mirror" \
    > "$root.log" 2>&1 || { echo "bullseye-root: debootstrap failed, see $root.log" >&2; tail -20 "$root.log" >&2; exit 1; }
chroot "$root" apt-get clean
echo "bullseye $arch $packages" > "$marker"
echo "bullseye-root: $root is ready"
