#!/bin/sh
# install_test.sh BUILD SOURCE - the installed prefix as a program outside
# the tree sees it: cmake --install into a temporary prefix, then
#  - the files and their ELF details (SONAME, no search path in the programs, no front-end library
#    under the support library),
#  - every installed header compiles alone as C11 and C++17 (pedantic),
#  - the example, copied out of the tree, builds with pkg-config only, and
#    a CMake project builds with find_package(cesupport),
#  - both run under the installed cedevice run and print exactly what the
#    build tree's example prints on an identical device.
# Prints one line per failure and exits 1 when any check failed.
set -u
BUILD=$1
SRC=$2
T=$(mktemp -d "${TMPDIR:-/tmp}/cesetup-install-XXXXXX")
trap 'rm -rf "$T"' EXIT
P=$T/prefix
failed=0
fail() { echo "FAIL: $*"; failed=1; }

cmake --install "$BUILD" --prefix "$P" >"$T/install.log" 2>&1 || { cat "$T/install.log"; fail "cmake --install"; exit 1; }

for f in bin/cesetup bin/cedevice lib/libcesupport.so.1 lib/libcesupport.so lib/pkgconfig/cesupport.pc \
         lib/cmake/cesupport/cesupportConfig.cmake lib/cmake/cesupport/cesupportTargets.cmake \
         include/cesupport/xec.h include/cesupport/xstr.h include/cesupport/xfile.h include/cesupport/supp.h \
         include/cesupport/windows.h; do
    [ -e "$P/$f" ] || fail "not installed: $f"
done
readelf -d "$P/lib/libcesupport.so.1" | grep -q 'SONAME.*\[libcesupport\.so\.1\]' || fail "SONAME is not libcesupport.so.1"
# A program that wants the support functions gets no front-end library.
front=$(ldd "$P/lib/libcesupport.so.1" | grep -Ei 'sdl|ncurses|tinfo|png|freetype|X11')
[ -z "$front" ] || fail "libcesupport.so.1 needs front-end libraries: $(echo $front | tr '\n' ' ')"
# The programs load no library of lib/: a search path would only cost
# failed opens at every start.
for prog in cesetup cedevice; do
    path=$(readelf -d "$P/bin/$prog" | grep -E 'R(UN)?PATH')
    [ -z "$path" ] || fail "bin/$prog carries a library search path: $path"
done

# Each header alone, then the C conveniences: TEXT(), WCHAR of 16 bits,
# the font search record.
cd "$T"
for h in "$P"/include/cesupport/*.h; do
    name=$(basename "$h")
    printf '#include <%s>\ntypedef int cesetup_after_header;\n' "$name" >alone.c
    gcc -std=c11 -Wall -Wextra -pedantic -Werror -fsyntax-only -I"$P/include/cesupport" alone.c 2>"$T/c.err" ||
        { fail "$name does not compile alone as C11"; head -5 "$T/c.err"; }
    g++ -std=c++17 -Wall -Wextra -pedantic -Werror -fsyntax-only -x c++ -I"$P/include/cesupport" alone.c 2>"$T/cxx.err" ||
        { fail "$name does not compile alone as C++17"; head -5 "$T/cxx.err"; }
done
cat >uses.c <<'EOS'
#include <supp.h>
#include <xstr.h>
static const WCHAR kFace[] = TEXT("Tahoma");
_Static_assert(sizeof(WCHAR) == 2, "WCHAR is a 16-bit unit");
_Static_assert(sizeof(kFace) == 7 * sizeof(WCHAR), "TEXT gives UTF-16 units");
int Probe(void) {
    SUPP_FONTSEARCH search = {kFace, FALSE};
    return s_supp_IsFontInstalledProcParam(NULL, NULL, 0, (LPARAM)&search) + XStr_LengthW(kFace);
}
EOS
gcc -std=c11 -Wall -Wextra -pedantic -Werror -c -I"$P/include/cesupport" uses.c -o uses.o 2>"$T/c.err" ||
    { fail "TEXT(), WCHAR or SUPP_FONTSEARCH unusable from C"; head -5 "$T/c.err"; }

# The example as a program of its own, built from the installed prefix only.
mkdir -p ext && cp "$SRC/examples/client.c" ext/client.c
export PKG_CONFIG_PATH="$P/lib/pkgconfig"
# shellcheck disable=SC2046
gcc -std=c11 -Wall -Wextra -pedantic -Werror ext/client.c $(pkg-config --cflags --libs cesupport) -o ext/client \
    2>"$T/c.err" || { fail "the example does not build with pkg-config"; head -5 "$T/c.err"; }
mkdir -p cm
cat >cm/CMakeLists.txt <<'EOS'
cmake_minimum_required(VERSION 3.16)
project(client C)
find_package(cesupport 0.1 REQUIRED)
add_executable(client ../ext/client.c)
target_link_libraries(client PRIVATE cesupport::cesupport)
EOS
{ cmake -S cm -B cm/build -DCMAKE_PREFIX_PATH="$P" && cmake --build cm/build; } >"$T/cm.log" 2>&1 ||
    { fail "the example does not build with find_package(cesupport)"; tail -15 "$T/cm.log"; }

# The same run three ways: the build tree's example, the pkg-config build
# and the CMake build, each on a fresh device with the same card.
mkdir -p card
awk 'BEGIN { print "hello from the card"; for (i = 0; i < 9000; i++) printf "line %05d of the package file\n", i }' \
    >card/readme.txt
run() { # NAME CEDEVICE CLIENT
    "$2" init "$T/dev-$1" >/dev/null || fail "$1: cedevice init"
    "$2" run "$T/dev-$1" --card "$T/card" "$3" '\Storage Card\readme.txt' '\My Documents\readme.txt' \
        >"$T/out-$1" 2>"$T/err-$1" || fail "$1: the example failed: $(cat "$T/err-$1")"
    cmp -s card/readme.txt "$T/dev-$1/store/My Documents/readme.txt" || fail "$1: the copy differs from its source"
}
run tree "$BUILD/bin/cedevice" "$BUILD/bin/cesupport_client"
run pkgconfig "$P/bin/cedevice" ext/client
run cmake "$P/bin/cedevice" cm/build/client
[ "$(grep -c '^progress [0-9]*% ([0-9]* bytes)$' "$T/out-tree")" -ge 5 ] &&
    grep -q '^first line: hello from the card$' "$T/out-tree" &&
    grep -q '^font Tahoma: installed$' "$T/out-tree" || { fail "the build tree's example printed:"; cat "$T/out-tree"; }
for how in pkgconfig cmake; do
    cmp -s "$T/out-tree" "$T/out-$how" || { fail "$how build prints otherwise than the build tree's:"; diff "$T/out-tree" "$T/out-$how"; }
done

# Outside a device: the library's one line, then the example's own report.
env -u CE_DEVICE -u CE_CARD ext/client '\a' '\b' >/dev/null 2>"$T/err-none" && fail "the example succeeded without a device"
[ "$(head -1 "$T/err-none")" = "libcesupport: no device (set CE_DEVICE or use cedevice run)" ] ||
    { fail "without a device stderr reads:"; cat "$T/err-none"; }

exit $failed
