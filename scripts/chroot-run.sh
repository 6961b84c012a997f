#!/usr/bin/env bash
# Runs one command inside a userland made by bullseye-root.sh, with the source
# tree bind-mounted read-only at /src, /proc and /dev mounted, and a clean
# environment (CI and TALLOWFIT_* are passed on). The mounts are removed on every
# exit. One run per userland at a time (a lock beside the folder).
# An i386 userland runs under the i686 personality, so that uname, and with it
# CMake's CMAKE_SYSTEM_PROCESSOR, says i686 there.
#   chroot-run.sh ROOT SRC COMMAND...
set -eu
if [ $# -lt 3 ]; then
    echo "usage: $0 ROOT SRC COMMAND..." >&2
    exit 2
fi
root=$1
src=$2
shift 2
if [ ! -f "$root/.tallowfit-root-ready" ]; then
    echo "chroot-run: $root is not a finished userland (run scripts/i386-env.sh)" >&2
    exit 1
fi
arch=$(cut -d' ' -f2 "$root/.tallowfit-root-ready")

exec 8>"$root.run.lock"
flock 8

mounted=()
unmount_all() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"
    done
    mounted=()
}
trap unmount_all EXIT
trap 'exit 130' INT TERM HUP

mkdir -p "$root/src"
mount --bind "$src" "$root/src"
mounted+=("$root/src")
mount -o remount,bind,ro "$root/src"
mount -t proc proc "$root/proc"
mounted+=("$root/proc")
mount --bind /dev "$root/dev"
mounted+=("$root/dev")

personality=()
if [ "$arch" = i386 ]; then personality=(setarch i686); fi

passed=(PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "CI=${CI:-}")
while IFS='=' read -r name _; do
    passed+=("$name=${!name}")
done < <(env | grep -E '^TALLOWFIT_[A-Z0-9_]*=' || true)

rc=0
env -i "${passed[@]}" "${personality[@]}" chroot "$root" "$@" || rc=$?
exit $rc
