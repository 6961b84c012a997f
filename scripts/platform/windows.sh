#!/usr/bin/env bash
# Cross-builds tallowfit.pyd for a 32-bit Windows Python 2.7 with Debian's
# mingw-w64 (preset "windows", into build-platform/windows) and checks it:
#   - headers: CPython 2.7.18's Include/ and its Windows PC/pyconfig.h, from
#     Debian 11's python2.7 source package (apt-get source, once, kept in
#     $TALLOWFIT_CACHE/python27-win32);
#   - import library of python27.dll made by dlltool from cmake/python27.def,
#     which lists only the interpreter functions the module calls;
#   - no x87 arithmetic in the objects; exactly one export, inittallowfit, and
#     imports only from python27.dll (exactly the .def's names) and Windows
#     system DLLs (tests/platform/check_pyd.py). Installing needs root.
set -euo pipefail
. "$(dirname "$0")/../lib.sh"
cd "$TALLOWFIT_SRC"
export TALLOWFIT_WIN_PYTHON=$TALLOWFIT_CACHE/python27-win32
build=build-platform/windows

have_cmds i686-w64-mingw32-g++ dpkg-source || install_deps --platform

if [ ! -f "$TALLOWFIT_WIN_PYTHON/source-package" ]; then
    echo "fetching the Python 2.7 headers into $TALLOWFIT_WIN_PYTHON"
    grep -qs '^deb-src .* bullseye' /etc/apt/sources.list.d/bullseye.list || use_bullseye_for_python2
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq --download-only python2.7/bullseye >/dev/null 2>&1 \
        && dpkg-source -x --no-check python2.7_*.dsc tree >/dev/null) \
        || { echo "could not fetch Debian 11's python2.7 source package" >&2; exit 1; }
    grep -q '#define PY_VERSION.*"2.7.18"' "$work/tree/Include/patchlevel.h"
    mkdir -p "$TALLOWFIT_WIN_PYTHON/include"
    cp "$work"/tree/Include/*.h "$work/tree/PC/pyconfig.h" "$TALLOWFIT_WIN_PYTHON/include/"
    basename "$work"/python2.7_*.dsc .dsc > "$TALLOWFIT_WIN_PYTHON/source-package"
    rm -rf "$work"
fi

mkdir -p $build
i686-w64-mingw32-dlltool --input-def cmake/python27.def --dllname python27.dll --output-lib $build/libpython27.a
/usr/bin/cmake --preset windows >$build/cmake.log 2>&1 && /usr/bin/cmake --build $build -j2 >$build/build.log 2>&1 \
    || { tail -n 60 $build/cmake.log $build/build.log; exit 1; }
echo "$build/py2/tallowfit.pyd (headers: $(cat "$TALLOWFIT_WIN_PYTHON/source-package"))"
/usr/bin/python3 tests/platform/check_no_x87.py $build i686-w64-mingw32-objdump
/usr/bin/python3 tests/platform/check_pyd.py $build/py2/tallowfit.pyd cmake/python27.def
