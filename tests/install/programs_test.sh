#!/bin/sh
# programs_test.sh BUILD "STATIC..." - the build tree's programs as the
# dynamic loader sees them:
#  - no RUNPATH or RPATH: they need no library of the build's lib/ folder,
#    and the loader would look for every library in each path first (an
#    empty component, as a padded build path leaves, is the current
#    folder, so a package folder could supply one),
#  - the libraries named in STATIC (sqlite, freetype) linked into them, not
#    loaded at the start,
#  - each still starts and answers --version.
# Prints one line per failure and exits 1 when any check failed.
set -u
BUILD=$1
STATIC=$2
failed=0
fail() { echo "FAIL: $*"; failed=1; }

for prog in cesetup cedevice; do
    bin="$BUILD/bin/$prog"
    [ -x "$bin" ] || { fail "no $bin"; continue; }
    dyn=$(readelf -d "$bin") || { fail "readelf -d $bin"; continue; }
    for path in $(echo "$dyn" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' | tr ' ' '?'); do
        fail "$prog: it carries the library search path \"$path\""
    done
    for lib in $STATIC; do
        case $lib in
        sqlite) pattern='libsqlite3' ;;
        freetype) pattern='libfreetype\|libbrotli' ;;
        *) fail "unknown library $lib"; continue ;;
        esac
        needed=$(echo "$dyn" | grep NEEDED | grep "$pattern")
        [ -z "$needed" ] || fail "$prog loads $lib at its start: $needed"
    done
    "$bin" --version >/dev/null 2>&1 || fail "$prog --version does not run"
done
# The support library keeps the shared SQLite (its clients link it).
readelf -d "$BUILD/lib/libcesupport.so.1" | grep NEEDED | grep -q libsqlite3 ||
    fail "libcesupport.so.1 does not name libsqlite3"
exit $failed
