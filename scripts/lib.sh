# Sourced by every script: the helpers they share.
#   TALLOWFIT_SRC, TALLOWFIT_CACHE   the source tree; what is kept between runs
#   have_cmds, have_pkg, apt_install commands on PATH; Debian packages, installed with apt-get
#   debian_mirror                    the Debian archive of the machine's own apt sources
#   install_deps [--hardening] [--platform] [--dist]   what the build and the checks need
#   interpreters                     "tag path" of every CPython to build for
#   step, check, summary             titled parts and counted checks of a test run
TALLOWFIT_SRC=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
TALLOWFIT_CACHE=${TALLOWFIT_CACHE:-/var/cache/tallowfit}
export DEBIAN_FRONTEND=noninteractive

have_cmds() { local c; for c; do command -v "$c" >/dev/null || return 1; done; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

apt_install() {
    local apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq --no-install-recommends)
    "${apt[@]}" install "$@" >/dev/null 2>&1 || { "${apt[@]}" update && "${apt[@]}" install "$@"; }
}

# The URI of the first apt source, one-line or deb822, that serves the
# machine's own release (its security archive aside).
debian_mirror() {
    local codename
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    { cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null || true; } |
        awk -v want="$codename" '
            /^deb / { sub(/\[[^]]*\] */, ""); if ($3 == want) { print $2; exit } }
            /^URIs:/ { uri = $2 }
            /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == want) found = 1 }
            /^[[:space:]]*$/ { if (found && uri) { print uri; exit } uri = ""; found = 0 }
            END { if (found && uri) print uri }' | head -n 1
}

# Debian 11 (bullseye) as a source for the python2.7 family only: every other
# package keeps coming from the machine's own release.
use_bullseye_for_python2() {
    local mirror
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { echo "install-deps: no Debian archive in the apt sources" >&2; return 1; }
    echo "deb $mirror bullseye main" > /etc/apt/sources.list.d/bullseye.list
    echo "deb-src $mirror bullseye main" >> /etc/apt/sources.list.d/bullseye.list
    cat > /etc/apt/preferences.d/bullseye-python2 <<'PIN'
Package: *
Pin: release n=bullseye
Pin-Priority: 100

Package: python2.7 python2.7-dev python2.7-minimal libpython2.7 libpython2.7-dev libpython2.7-minimal libpython2.7-stdlib python2.7-dbg libpython2.7-dbg
Pin: release n=bullseye
Pin-Priority: 500
PIN
    apt-get -o DPkg::Lock::Timeout=600 update -qq
}

# Installs what is missing. Without root or apt-get, a missing package the
# README commands cannot do without ends the run with one line naming it;
# python2.7 is optional outside CI.
install_deps() {
    local needed=(cmake make g++ libgtest-dev python3-dev python3-venv) python2=(python2.7 python2.7-dev)
    local option missing=() p
    for option in "$@"; do
        case $option in
            --hardening) needed+=(valgrind python3-dbg); python2+=(python2.7-dbg) ;;
            --platform) needed+=(debootstrap g++-mingw-w64-i686 binutils-mingw-w64-i686 dpkg-dev) ;;
            --dist) needed+=(patchelf) ;;
        esac
    done
    [ "${CI:-}" = true ] && needed+=("${python2[@]}")
    for p in "${needed[@]}" "${python2[@]}"; do have_pkg "$p" || missing+=("$p"); done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
        for p in "${needed[@]}"; do
            have_pkg "$p" || { echo "missing Debian packages: ${missing[*]} (install them, or run as root)" >&2; return 1; }
        done
        echo "python2.7 not installed: building for Python 3 only" >&2
        return 0
    fi
    if [[ " ${missing[*]}" == *" python2.7"* ]]; then use_bullseye_for_python2 || return 1; fi
    echo "installing ${missing[*]}"
    apt_install "${missing[@]}" || { echo "apt-get could not install: ${missing[*]}" >&2; return 1; }
}

# The interpreters to build for, one "tag path" a line: Debian's python2.7 and
# python3 as py2 and py3, then every other CPython 3.7 or later that a version
# manager keeps, tagged pyXY.
interpreters() {
    local py tag
    [ -x /usr/bin/python2.7 ] && echo "py2 /usr/bin/python2.7"
    echo "py3 /usr/bin/python3"
    for py in "${PYENV_ROOT:-${HOME:-/root}/.pyenv}"/versions/3.*/bin/python3 ${TALLOWFIT_PYTHONS:-}; do
        tag=$("$py" -c 'import sys; print("py%d%d" % sys.version_info[:2] if sys.version_info >= (3, 7) else "")' 2>/dev/null) \
            && [ -n "$tag" ] && echo "$tag $py"
    done
}
extra_pythons() { interpreters | awk '$1 ~ /^py[0-9][0-9]/ { printf "%s%s", sep, $2; sep = ";" }'; }

# step TITLE; check NAME COMMAND...: runs the command with its output in a log
# (CHECK_LOGS), shown when it fails, or as it comes with CHECK_VERBOSE set;
# summary prints "N passed, N failed".
passed=0
failed=0
step() { echo; echo "=== $*"; }
check() {
    local name=$1 log rc=0
    shift
    mkdir -p "${CHECK_LOGS:=$(mktemp -d)}"
    log=$CHECK_LOGS/$(echo "$name" | tr -c 'a-zA-Z0-9\n' '_').log
    if [ -n "${CHECK_VERBOSE:-}" ]; then "$@" > >(tee "$log") 2>&1 || rc=$?; else "$@" >"$log" 2>&1 || rc=$?; fi
    if [ $rc -eq 0 ]; then
        echo "PASS  $name"
        passed=$((passed + 1))
    else
        echo "FAIL  $name"
        [ -n "${CHECK_VERBOSE:-}" ] || tail -n 40 "$log" | sed 's/^/      /'
        failed=$((failed + 1))
    fi
}
summary() { echo "$passed passed, $failed failed"; [ "$failed" -eq 0 ]; }
