#!/bin/sh
# The run a feedback-directed build learns from (see scripts/build.sh):
# the programs of BUILD, built to count what they execute, install and then
# remove a generated card of many files and the bundled sample, unattended,
# as users run them. What they count is written where they were built to
# write it.
#
#   sh scripts/train.sh BUILD
set -e
cd "$(dirname "$0")/.."
BUILD=${1:?usage: train.sh BUILD}
for p in cesetup cedevice; do
    [ -x "$BUILD/bin/$p" ] || { echo "train: no $BUILD/bin/$p" >&2; exit 1; }
done
WORK=$(mktemp -d "${TMPDIR:-/tmp}/cesetup-train.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# A run that fails ends the training (the build then goes on without a
# profile): a run that stopped early would teach the wrong paths.
run() {
    "$@" >"$WORK/run.out" 2>&1 || { echo "train: failed: $*" >&2; tail -5 "$WORK/run.out" >&2; exit 1; }
}

# Many files of two progress blocks each: the copy loop and its repainting.
python3 scripts/bulk_card.py "$WORK/bulk" 400 24
run "$BUILD/bin/cedevice" init "$WORK/dev" --storage-kb 262144
run "$BUILD/bin/cesetup" --device "$WORK/dev" --card "$WORK/bulk" --ui none \
    --answer "page 105: click Continue" --answer "page 107: click Continue" \
    --answer "page 104: click Continue" --answer "message 216: answer OK"
run "$BUILD/bin/cesetup" --device "$WORK/dev" --card "$WORK/bulk" --ui none \
    --answer "page 108: click Remove" --answer "message 217: answer OK"

# The bundled sample: three products, their pages, registry and shortcuts.
run "$BUILD/bin/cedevice" init "$WORK/sample"
run "$BUILD/bin/cesetup" --device "$WORK/sample" --card samples/card --ui none --answers samples/answers.txt
