#!/bin/sh
# Checks the platform against an independent Win32 (mingw-w64's headers and
# Wine): builds the platform's kernel-level and registry tests, the
# declarations check and the system's code for Windows, runs the tests under
# Wine as a user other than root in a fresh prefix, and compares with the
# expected differences in tests/conformance/expected.txt.
# Exit 0 when nothing new differs; the summary lines give the counts.
set -eu
cd "$(dirname "$0")/.."
REPO=$(pwd)
BUILD=${CONFORMANCE_BUILD:-$REPO/build-conformance}
JOBS=${JOBS:-2}
# Every Wine run is bounded, so that a hang fails the run instead of CI.
WINE_TIMEOUT=${WINE_TIMEOUT:-600}
WINE_USER=${WINE_USER:-cewine}

say() { printf 'conformance: %s\n' "$*"; }
fail() { printf 'conformance: FAILED: %s\n' "$*" >&2; exit 1; }

# ---------------------------------------------------------------- packages
PACKAGES="cmake ninja-build g++ python3 googletest g++-mingw-w64-x86-64-posix wine64"
missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
if [ "$(id -u)" = 0 ]; then SUDO=""; else SUDO="sudo"; fi
if [ -n "$missing" ]; then
    say "installing$missing"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends $missing
fi
WINE=/usr/lib/wine/wine64
[ -x "$WINE" ] || WINE=$(command -v wine64 || true)
[ -n "$WINE" ] && [ -x "$WINE" ] || fail "wine64 is not installed"
[ -d /usr/src/googletest/googletest ] || fail "GoogleTest sources missing in /usr/src/googletest"

# ---------------------------------------------------------------- build
start=$(date +%s)
say "building with mingw-w64 into $BUILD"
LAUNCHER=""
command -v ccache >/dev/null 2>&1 && LAUNCHER="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
mkdir -p "$BUILD"
python3 tests/conformance/gen_declarations.py "$REPO" "$BUILD/declarations" ||
    fail "generating the declarations check"
# shellcheck disable=SC2086
cmake -S tests/conformance -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$REPO/tests/conformance/mingw.cmake" -DDECLARATIONS_DIR="$BUILD/declarations" \
      $LAUNCHER >"$BUILD/configure.log" 2>&1 ||
    { cat "$BUILD/configure.log"; fail "configuring the mingw build"; }
cmake --build "$BUILD" -j "$JOBS" || fail "the mingw build (a compile error above is a new difference)"
say "built in $(( $(date +%s) - start )) s"

# ---------------------------------------------------------------- Wine
# Wine runs as an ordinary user (read-only files and other access checks
# behave as for a user), in a fresh prefix inside a scratch folder.
RUNAS=""
if [ "$(id -u)" = 0 ]; then
    if ! id "$WINE_USER" >/dev/null 2>&1; then
        useradd --create-home --shell /bin/sh "$WINE_USER" || fail "cannot create the user $WINE_USER"
    fi
    RUNAS="runuser -u $WINE_USER --"
fi
WORK=$(mktemp -d /tmp/cesetup-conformance-XXXXXX)
cleanup() {
    # shellcheck disable=SC2086
    [ -d "$WORK/prefix" ] && $RUNAS env WINEPREFIX="$WORK/prefix" /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WORK"
}
trap cleanup EXIT INT TERM
cp "$BUILD/conformance.exe" "$BUILD/declarations.exe" tests/conformance/expected.txt "$WORK/"
mkdir -p "$WORK/root"
[ -n "$RUNAS" ] && chown -R "$WINE_USER" "$WORK"

# A host path as Wine's Z: drive sees it.
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }

wine() {
    # shellcheck disable=SC2086
    $RUNAS env HOME="$WORK" WINEPREFIX="$WORK/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
        CECONF_ROOT="$(winpath "$WORK/root")" CECONF_DRIVE="S:" \
        timeout -k 10 "$WINE_TIMEOUT" "$WINE" "$@"
}

say "making a fresh Wine prefix"
wine wineboot -i >"$WORK/wineboot.log" 2>&1 || { cat "$WORK/wineboot.log"; fail "wineboot (exit $?)"; }
# The store as a drive: S: is the fixture's device\store folder.
$RUNAS ln -s "$WORK/root/device/store" "$WORK/prefix/dosdevices/s:"

say "declarations against the real headers"
wine "$(winpath "$WORK/declarations.exe")" >"$WORK/declarations.log" 2>&1 ||
    { cat "$WORK/declarations.log"; fail "the declarations check"; }
grep -v '^expected difference' "$WORK/declarations.log" || true

say "the platform's tests under Wine"
status=0
wine "$(winpath "$WORK/conformance.exe")" "$(winpath "$WORK/expected.txt")" >"$WORK/tests.log" 2>&1 || status=$?
grep -v '^\[ RUN' "$WORK/tests.log" || true
grep -q '^conformance: .* tests run' "$WORK/tests.log" || fail "the test run ended early (exit $status); its last lines:
$(tail -n 20 "$WORK/tests.log")"
[ "$status" = 0 ] || fail "new or stale differences (exit $status)"
say "green in $(( $(date +%s) - start )) s"
