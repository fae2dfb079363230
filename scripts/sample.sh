#!/bin/sh
# Builds the project and installs the bundled sample card into a fresh device.
set -e
cd "$(dirname "$0")/.."
sh scripts/build.sh
exec python3 scripts/sample.py "$@"
