#!/bin/sh
# Makes the README's pictures of the wizard from the bundled sample card:
# a first installation, then the maintenance page and a removal, each run
# unattended with --screenshots; the pictures are copied into docs/.
# BUILD names the build folder (default build/, which is built first).
set -e
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
if [ "$BUILD" = build ]; then
    sh scripts/build.sh
fi
CESETUP="$BUILD/bin/cesetup"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp -r samples/card "$WORK/card"

"$CESETUP" --device "$WORK/device" --card "$WORK/card" --ui none \
    --answers samples/answers.txt --screenshots "$WORK/install"
"$CESETUP" --device "$WORK/device" --card "$WORK/card" --ui none \
    --answer "page 108: click 1003" --answer "message 217: answer OK" --answer "page 108#2: close" \
    --screenshots "$WORK/remove" || [ $? -eq 4 ] # 4: the maintenance page ended by its close box

mkdir -p docs
# The first showing of each page and message, named by what it shows.
for dir in install remove; do
    for f in "$WORK/$dir"/*.png; do
        name=$(basename "$f" | sed 's/^[0-9]*-//')
        if [ ! -e "$WORK/taken-$name" ]; then
            cp "$f" "docs/$name"
            touch "$WORK/taken-$name"
        fi
    done
done
ls docs/*.png
