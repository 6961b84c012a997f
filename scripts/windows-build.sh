#!/usr/bin/env bash
# Cross-builds tallowfit.pyd for a 32-bit Windows Python 2.7 with Debian's
# mingw-w64 and checks what it exports and imports:
#   - headers: CPython 2.7.18's Include/ and its Windows PC/pyconfig.h, from
#     Debian 11's python2.7 source package (apt-get source, once, kept in
#     /var/cache/tallowfit/python27-win32 or TALLOWFIT_WIN_PYTHON);
#   - import library of python27.dll: made by dlltool from cmake/python27.def,
#     which lists only the interpreter functions that the module calls;
#   - libgcc and libstdc++ linked statically.
# Then the checks: every unit compiled with SSE2 arithmetic and no contraction,
# no x87 arithmetic in the objects, and tests/platform/check_pyd.py: exactly one export, inittallowfit; imports
# only from python27.dll (exactly the names of the .def) and Windows system
# DLLs. Prints PASS or FAIL; exits non-zero on FAIL.
# Output: BUILD/py2/tallowfit.pyd, BUILD = $TALLOWFIT_WINDOWS_BUILD or
# build-platform/windows in the source tree. Installing needs root.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
. "$src/scripts/apt-bullseye.sh"
build=${TALLOWFIT_WINDOWS_BUILD:-$src/build-platform/windows}
python_dir=${TALLOWFIT_WIN_PYTHON:-/var/cache/tallowfit/python27-win32}
jobs=${TALLOWFIT_JOBS:-2}
export DEBIAN_FRONTEND=noninteractive

apt_install() {
    apt-get install -y -qq --no-install-recommends "$@" >/dev/null \
        || { apt-get update -qq && apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
}

missing=()
command -v i686-w64-mingw32-g++ >/dev/null 2>&1 || missing+=(g++-mingw-w64-i686)
command -v i686-w64-mingw32-dlltool >/dev/null 2>&1 || missing+=(binutils-mingw-w64-i686)
command -v dpkg-source >/dev/null 2>&1 || missing+=(dpkg-dev)
command -v cmake >/dev/null 2>&1 || missing+=(cmake)
if [ ${#missing[@]} -gt 0 ]; then
    echo "windows-build: installing ${missing[*]}"
    apt_install "${missing[@]}"
fi

# CPython 2.7.18's headers as Debian 11's python2.7 source package ships them.
fetch_headers() {
    use_bullseye_sources
    apt-get update -qq
    local work
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq --download-only python2.7/bullseye >/dev/null 2>&1 \
        && dpkg-source -x --no-check python2.7_*.dsc tree >/dev/null) \
        || { echo "windows-build: could not fetch Debian 11's python2.7 source package" >&2; exit 1; }
    grep -q '#define PY_VERSION.*"2.7.18"' "$work/tree/Include/patchlevel.h" \
        || { echo "windows-build: the source package is not CPython 2.7.18" >&2; exit 1; }
    rm -rf "$python_dir.new"
    mkdir -p "$python_dir.new/include"
    cp "$work"/tree/Include/*.h "$python_dir.new/include/"
    cp "$work/tree/PC/pyconfig.h" "$python_dir.new/include/pyconfig.h"
    basename "$work"/python2.7_*.dsc .dsc > "$python_dir.new/source-package"
    rm -rf "$work" "$python_dir"
    mv "$python_dir.new" "$python_dir"
}
if [ ! -f "$python_dir/source-package" ]; then
    echo "windows-build: fetching the Python 2.7 headers into $python_dir"
    fetch_headers
fi

mkdir -p "$build"
i686-w64-mingw32-dlltool --input-def "$src/cmake/python27.def" --dllname python27.dll \
    --output-lib "$build/libpython27.a"

cmake -S "$src" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTALLOWFIT_BUILD_TESTS=OFF \
    -DTALLOWFIT_PYTHON2= -DTALLOWFIT_PYTHON3= \
    -DTALLOWFIT_WINDOWS_PYTHON_INCLUDE="$python_dir/include" \
    -DTALLOWFIT_WINDOWS_PYTHON_LIBRARY="$build/libpython27.a" \
    -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >"$build/cmake.log" 2>&1 \
    || { cat "$build/cmake.log"; exit 1; }
cmake --build "$build" --target tallowfit_win32 -j"$jobs" >"$build/build.log" 2>&1 \
    || { tail -60 "$build/build.log"; exit 1; }

echo "windows-build: $build/py2/tallowfit.pyd (headers: $(cat "$python_dir/source-package"))"
rc=0
/usr/bin/python3 "$src/tests/platform/check_build_flags.py" "$build/compile_commands.json" 32 || rc=1
/usr/bin/python3 "$src/tests/platform/check_no_x87.py" "$build" i686-w64-mingw32-objdump || rc=1
/usr/bin/python3 "$src/tests/platform/check_pyd.py" "$build/py2/tallowfit.pyd" "$src/cmake/python27.def" || rc=1
if [ $rc -eq 0 ]; then echo "windows-build: PASS"; else echo "windows-build: FAIL"; fi
exit $rc
