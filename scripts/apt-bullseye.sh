# Sourced by the install scripts: Debian 11 (bullseye) as an apt source for
# python2.7 and its relatives only. Every other package keeps coming from the
# machine's own release (pin 100); the python2.7 family is taken from bullseye
# (pin 500). Needs root.
BULLSEYE_MIRROR=http://deb.debian.org/debian

# use_bullseye_for_python2: the binary source (once) and the pin (rewritten).
use_bullseye_for_python2() {
    if [ ! -f /etc/apt/sources.list.d/bullseye.list ]; then
        echo "deb $BULLSEYE_MIRROR bullseye main" > /etc/apt/sources.list.d/bullseye.list
    fi
    cat > /etc/apt/preferences.d/bullseye-python2 <<'PIN'
Package: *
Pin: release n=bullseye
Pin-Priority: 100

Package: python2.7 python2.7-dev python2.7-minimal libpython2.7 libpython2.7-dev libpython2.7-minimal libpython2.7-stdlib python2.7-dbg libpython2.7-dbg
Pin: release n=bullseye
Pin-Priority: 500
PIN
}

# use_bullseye_sources: the source-package line, unless one is already there.
use_bullseye_sources() {
    if ! grep -rqsE '^deb-src .* bullseye main' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        echo "deb-src $BULLSEYE_MIRROR bullseye main" > /etc/apt/sources.list.d/bullseye-src.list
    fi
}
