#!/bin/sh
# Configures and builds the project into build/ (after installing what is
# missing). "sh scripts/build.sh" builds the programs and the library only;
# "sh scripts/build.sh --tests" also the tests and benchmarks.
set -e
cd "$(dirname "$0")/.."
testing=OFF
[ "${1:-}" = "--tests" ] && testing=ON
if [ "$testing" = ON ]; then sh scripts/deps.sh --tests; else sh scripts/deps.sh; fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=$testing >/dev/null
cmake --build build -j "$(nproc)"
