#!/bin/sh
# Builds the programs, the tests and the benchmarks, and runs the whole test suite.
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh --tests
cd build && ctest --output-on-failure -j "$(nproc)" "$@"
