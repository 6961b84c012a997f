# Sourced by the scripts that work in a Debian userland of their own (needs root):
#   make_root SUITE ARCH DIR PACKAGE...   debootstrap --variant=minbase from the
#       machine's own Debian mirror, once: a finished tree carries a marker with
#       its packages and is reused; an unfinished one is made again.
#   in_root DIR COMMAND...   runs the command inside with /proc and /dev mounted,
#       the source tree read-only at /src (when DIR/src exists) and a clean
#       environment (CI, TALLOWFIT_* passed on); an i386 tree under the i686
#       personality, so that CMake sees i686. The mounts go on every exit.

make_root() {
    local suite=$1 arch=$2 root=$3 mirror
    shift 3
    local want="$suite $arch $*"
    mkdir -p "$(dirname "$root")"
    exec 9>"$root.lock"
    flock 9  # another run may be making it; then it is reused
    [ -f "$root/.tallowfit-root" ] && [ "$(cat "$root/.tallowfit-root")" = "$want" ] && return 0
    command -v debootstrap >/dev/null || apt_install debootstrap || return 1
    mirror=$(debian_mirror)
    rm -rf --one-file-system "$root"
    echo "making a Debian $suite $arch userland in $root (a few minutes, once)"
    debootstrap --arch="$arch" --variant=minbase --include="$(echo "$*" | tr ' ' ,)" \
        "$suite" "$root" "$mirror" >"$root.log" 2>&1 \
        || { echo "debootstrap failed, see $root.log" >&2; tail -n 20 "$root.log" >&2; return 1; }
    chroot "$root" apt-get clean
    echo "$want" > "$root/.tallowfit-root"
}

in_root() {
    local root=$1 arch rc=0
    shift
    exec 8>"$root.run.lock"
    flock 8  # one run at a time: the mounts belong to it
    arch=$(chroot "$root" dpkg --print-architecture)
    cp /etc/resolv.conf "$root/etc/resolv.conf"
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
    if [ -d "$root/src" ]; then mount --bind "$TALLOWFIT_SRC" "$root/src" && mount -o remount,bind,ro "$root/src"; fi
    local vars=(PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "CI=${CI:-}") name
    for name in $(compgen -e | grep '^TALLOWFIT_'); do vars+=("$name=${!name}"); done
    trap 'umount -R "'"$root"'/src" "'"$root"'/dev" "'"$root"'/proc" 2>/dev/null' EXIT
    env -i "${vars[@]}" $([ "$arch" = i386 ] && echo setarch i686) chroot "$root" "$@" || rc=$?
    [ -d "$root/src" ] && umount "$root/src"
    umount -R "$root/dev"
    umount "$root/proc"
    trap - EXIT
    exec 8>&-
    return $rc
}
