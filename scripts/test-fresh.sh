#!/usr/bin/env bash
# The README's two commands on a machine that has nothing yet: a minimal root of
# the host's Debian release (debootstrap --variant=minbase, plus git and
# ca-certificates), made anew for each run from a base kept in $TALLOWFIT_CACHE
# and removed after it, with the host's apt sources, CA bundle and pip
# configuration; the committed tree cloned into /root/tallowfit; then, there as
# root, `bash scripts/demo.sh` and `bash scripts/test.sh`. Passes when both
# exit 0, the demo drew its pictures and the tests end with ctest's "100% tests
# passed". Needs root and the network; the logs stay in build-fresh/.
set -uo pipefail
. "$(dirname "$0")/lib.sh"
. "$TALLOWFIT_SRC/scripts/platform/root.sh"
[ "$(id -u)" = 0 ] || { echo "test-fresh: needs root (debootstrap, chroot)" >&2; exit 1; }
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
arch=$(dpkg --print-architecture)
base=$TALLOWFIT_CACHE/$release-$arch-minbase
logs=$TALLOWFIT_SRC/build-fresh
mkdir -p "$logs"

make_root "$release" "$arch" "$base" git ca-certificates || exit 1
root=$(mktemp -d "$TALLOWFIT_CACHE/fresh-root.XXXXXX") && chmod 755 "$root"
cp -a "$base/." "$root" && rm -f "$root/etc/apt/sources.list" || exit 1
# The host's own sources (not the bullseye one that install-deps.sh adds), the
# keyrings they name, and the certificates that pip and apt trust here.
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "${f##*/}" != bullseye.list ] && cp "$f" "$root$f"
done
for key in $(grep -hoE '(Signed-By:|signed-by=) *[^] ]+' /etc/apt/sources.list /etc/apt/sources.list.d/* 2>/dev/null \
        | sed -E 's/^(Signed-By:|signed-by=) *//'); do
    [ -f "$key" ] && [ ! -e "$root$key" ] && mkdir -p "$(dirname "$root$key")" && cp "$key" "$root$key"
done
cp /etc/ssl/certs/ca-certificates.crt "$root/etc/ssl/certs/ca-certificates.crt"
[ -f /etc/pip.conf ] && cp /etc/pip.conf "$root/etc/pip.conf"
git clone -q "$TALLOWFIT_SRC" "$root/root/tallowfit" || exit 1

rc=0
for command in "bash scripts/demo.sh" "bash scripts/test.sh"; do
    log=$logs/${command//[^a-z]/_}.log  # bash_scripts_demo_sh.log, bash_scripts_test_sh.log
    start=$(date +%s)
    CI= in_root "$root" /bin/bash -c "cd /root/tallowfit && $command" </dev/null >"$log" 2>&1
    code=$?
    echo "$command: exit $code, $(($(date +%s) - start)) s (log: $log)"
    [ $code -eq 0 ] || { tail -n 30 "$log"; rc=1; }
done
pictures=$(ls "$root"/root/tallowfit/examples/output/*.png 2>/dev/null | wc -l)
echo "pictures drawn: $pictures"
tail -n 20 "$logs/bash_scripts_test_sh.log" | grep -q '^100% tests passed' \
    && tail -n 1 "$logs/bash_scripts_test_sh.log" | grep -q '^Total Test time' \
    || { echo "test-fresh: the tests did not end with ctest's passing summary"; rc=1; }
[ "$pictures" -gt 0 ] || rc=1
rm -rf --one-file-system "$root" "$root.run.lock"
exit $rc
