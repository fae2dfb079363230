#!/bin/sh
# Installs the Debian packages that building and running need, when they are
# missing; with --tests also those of the tests and benchmarks. Runs apt-get
# as root (directly, or through sudo).
set -e
PACKAGES="cmake g++ make ninja-build pkg-config libsqlite3-dev nlohmann-json3-dev libpng-dev
libfreetype-dev libsdl2-dev libx11-dev fonts-dejavu-core llvm libncurses-dev python3"
if [ "${1:-}" = "--tests" ]; then
    PACKAGES="$PACKAGES googletest libgtest-dev libgmock-dev libbenchmark-dev xvfb xdotool tmux
binutils"
fi
missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
echo "deps: installing$missing"
if [ "$(id -u)" = 0 ]; then SUDO=""; else SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends $missing
