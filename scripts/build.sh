#!/bin/sh
# Configures and builds the project into build/ (after installing what is
# missing). "sh scripts/build.sh" builds the programs and the library only;
# "sh scripts/build.sh --tests" also the tests and benchmarks.
#
# With GCC the programs are built with feedback from a training run, as
# compilers and interpreters ship theirs: a build that counts what it runs
# (build/profile-gen/), scripts/train.sh run with it, then the build itself
# laid out for what was counted (the profile in build/profile/). The
# profile is made again only when the sources have changed since.
# CESETUP_PGO=0 builds without one.
set -e
cd "$(dirname "$0")/.."
testing=OFF
[ "${1:-}" = "--tests" ] && testing=ON
if [ "$testing" = ON ]; then sh scripts/deps.sh --tests; else sh scripts/deps.sh; fi
jobs=$(nproc)

# What the profile was made from: every file the programs are built of,
# and the run that made it.
sources_stamp() {
    find CMakeLists.txt cmake platform support script setup registry language resources samples \
        scripts/train.sh scripts/bulk_card.py -type f -print0 | LC_ALL=C sort -z | xargs -0 cat | cksum
}

profile=""
if [ "${CESETUP_PGO:-1}" != 0 ] && ${CXX:-c++} -v 2>&1 | grep -q "^gcc version"; then
    stamp=$(sources_stamp)
    if [ ! -f build/profile/sources ] || [ "$(cat build/profile/sources)" != "$stamp" ]; then
        echo "build: the counting build and its training run (scripts/train.sh)"
        rm -rf build/profile
        cmake -S . -B build/profile-gen -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF \
            -DCESETUP_LTO=OFF -DCESETUP_PROFILE_DIR="$PWD/build/profile" -DCESETUP_PROFILE_GENERATE=ON >/dev/null
        cmake --build build/profile-gen -j "$jobs" --target cesetup cedevice
        if sh scripts/train.sh build/profile-gen; then
            mkdir -p build/profile && echo "$stamp" >build/profile/sources
        else
            # The programs are still built, only not laid out for the run.
            echo "build: the training run failed; building without a profile" >&2
            rm -rf build/profile
        fi
    fi
    [ -f build/profile/sources ] && profile="$PWD/build/profile"
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=$testing \
    -DCESETUP_PROFILE_DIR="$profile" >/dev/null
cmake --build build -j "$jobs"
