#!/bin/bash
# Whole install runs as a user makes them, timed side by side in one run:
# a generated card of FILES package files (TOTAL_MB in all) copied by a
# .load script, installed with `cesetup --ui none` against `cp -r` of the
# same files, and the same install under each other front end of UIS
# (tui in tmux, gui on Xvfb) against `--ui none`. Each figure is the median
# of ROUNDS runs on a fresh device; CPU time (user + sys) is shown beside the
# elapsed time. With REMOVE=1 the removal is timed too, against `rm -rf`.
#
#   scripts/bench_install.sh                     # 2,000 files, 200 MB, none tui gui
#   FILES=500 TOTAL_MB=50 UIS="none" scripts/bench_install.sh
#
# With DEFER_DELETES=1 every round's device and copy are kept until all
# rounds have made theirs, then removed (each timed as before): on a file
# system whose inode allocator passes over inodes freed in the last minutes
# (ext4 without a journal), files made right after a deletion near them
# cost more, whichever program makes them. It needs room for ROUNDS devices
# and copies.
#
# BUILD names the build folder (default build/). BASE may name a second
# build folder (another version of the code, built on this machine): each
# install is then also run with it, right after the same install with
# BUILD in the same round (with REMOVE=1 its removal too), and its figures
# are shown below BUILD's, its front ends against its own --ui none. The card and the devices
# are made in a new folder under BENCH_DIR (default /tmp), removed after the
# run unless KEEP=1.
set -euo pipefail
cd "$(dirname "$0")/.."
FILES=${FILES:-2000}
TOTAL_MB=${TOTAL_MB:-200}
UIS=${UIS:-"none tui gui"}
ROUNDS=${ROUNDS:-3}
REMOVE=${REMOVE:-0}
BUILD=${BUILD:-build}
BASE=${BASE:-}

fail() { echo "bench_install: $*" >&2; exit 1; }
case "$FILES" in ''|*[!0-9]*) fail "FILES must be a number of files, not '$FILES'" ;; esac
case "$TOTAL_MB" in ''|*[!0-9]*) fail "TOTAL_MB must be a number of megabytes, not '$TOTAL_MB'" ;; esac
case "$ROUNDS" in ''|*[!0-9]*|0) fail "ROUNDS must be a number above 0, not '$ROUNDS'" ;; esac
[ "$FILES" -gt 0 ] || fail "FILES must be above 0"
for ui in $UIS; do
    case "$ui" in none|tui|gui) ;; *) fail "UIS: unknown front end '$ui' (none, tui, gui)" ;; esac
done
for b in "$BUILD" $BASE; do
    [ -x "$b/bin/cesetup" ] && [ -x "$b/bin/cedevice" ] || fail "no $b/bin/cesetup / $b/bin/cedevice: build first"
done
command -v python3 >/dev/null || fail "python3 is needed to make the card"
case " $UIS " in *" tui "*) command -v tmux >/dev/null || fail "tmux is needed for the tui runs" ;; esac
case " $UIS " in *" gui "*) command -v Xvfb >/dev/null || fail "Xvfb is needed for the gui runs" ;; esac

BENCH_DIR=${BENCH_DIR:-/tmp}
[ -d "$BENCH_DIR" ] || fail "BENCH_DIR $BENCH_DIR is not a folder"
WORK=$(mktemp -d "$BENCH_DIR/bench-install.XXXXXX")
XVFB_PID=""
TMUX_SOCK="bench-install-$$"
cleanup() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
    tmux -L "$TMUX_SOCK" kill-server 2>/dev/null || true
    if [ "${KEEP:-0}" = 1 ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# The card: FILES files in 40 folders, a setup bitmap, one script copying them all.
python3 scripts/bulk_card.py "$WORK/card" "$FILES" "$TOTAL_MB"
echo "card: $FILES files, $(du -sm "$WORK/card" | cut -f1) MB in $WORK/card"

INSTALL_ANSWERS=(--answer "page 105: click Continue" --answer "page 107: click Continue"
                 --answer "page 104: click Continue" --answer "message 216: answer OK")
REMOVE_ANSWERS=(--answer "page 108: click Remove" --answer "message 217: answer OK")

# Runs a command and appends "elapsed cpu" (seconds) to the file $1.
timed() {
    local out=$1
    shift
    local start end t
    TIMEFORMAT='%U %S'
    start=$(date +%s.%N)
    { time "$@" >"$WORK/run.out" 2>&1; } 2>"$WORK/time.out" || {
        echo "bench_install: failed: $*" >&2
        tail -5 "$WORK/run.out" >&2
        exit 1
    }
    end=$(date +%s.%N)
    read -r u s <"$WORK/time.out"
    echo "$(calc "$end - $start") $(calc "$u + $s")" >>"$out"
}

calc() { awk "BEGIN { printf \"%.6f\", $1 }"; }

median() { # file column
    sort -g -k"$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { printf "%.3f", v[int((NR + 1) / 2)] }'
}

DEFER_DELETES=${DEFER_DELETES:-0}
DEV="$WORK/dev"
COPY="$WORK/copy"

new_device() { # build
    rm -rf "$DEV"
    "$1/bin/cedevice" init "$DEV" --storage-kb 4194304 >/dev/null
}

start_xvfb() {
    [ -n "$XVFB_PID" ] && return
    local fifo="$WORK/xvfb.fd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 800x800x24 -nolisten tcp 3>"$fifo" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    local n
    read -r -t 15 n <"$fifo" || fail "Xvfb does not start: $(tail -3 "$WORK/xvfb.log")"
    export DISPLAY=":$n"
}

# One install under a front end on a fresh device.
install_run() { # ui result-file build
    local ui=$1 out=$2 build=$3
    new_device "$build"
    local cmd=("$build/bin/cesetup" --device "$DEV" --card "$WORK/card" --ui "$ui" "${INSTALL_ANSWERS[@]}")
    case "$ui" in
    none) timed "$out" "${cmd[@]}" ;;
    gui) start_xvfb; timed "$out" "${cmd[@]}" ;;
    tui)
        # The run inside a tmux pane (the terminal it draws on): it times
        # itself and writes its exit code when it has ended.
        rm -f "$WORK/tui.done"
        {
            echo "TIMEFORMAT='%R %U %S'"
            printf '{ time %s 2>%q; } 2>%q\n' "$(printf '%q ' "${cmd[@]}")" "$WORK/tui.err" "$WORK/tui.time"
            printf 'echo $? >%q\n' "$WORK/tui.done"
        } >"$WORK/tui.sh"
        tmux -L "$TMUX_SOCK" -f /dev/null new-session -d -x 120 -y 50 -c "$PWD" "bash $WORK/tui.sh"
        local waited=0
        while [ ! -s "$WORK/tui.done" ]; do
            sleep 0.1
            waited=$((waited + 1))
            [ "$waited" -lt 6000 ] || fail "the tui run does not end"
        done
        [ "$(cat "$WORK/tui.done")" = 0 ] || fail "the tui run failed: $(tail -3 "$WORK/tui.err")"
        read -r r u s <"$WORK/tui.time"
        echo "$r $(calc "$u + $s")" >>"$out"
        ;;
    esac
    # A run that ended well but copied nothing would time nothing.
    local got
    got=$(find "$DEV/store/Program Files/Bulk" -name 'f*.bin' -type f 2>/dev/null | wc -l)
    [ "$got" -eq "$FILES" ] || fail "the --ui $ui install left $got of $FILES files"
}

remove_run() { # device result-file build
    timed "$2" "$3/bin/cesetup" --device "$1" --card "$WORK/card" --ui none "${REMOVE_ANSWERS[@]}"
}

for round in $(seq "$ROUNDS"); do
    for ui in $UIS; do
        [ "$DEFER_DELETES" = 1 ] && DEV="$WORK/dev-$round-$ui"
        install_run "$ui" "$WORK/install-$ui" "$BUILD"
        if [ "$ui" = none ] && [ "$REMOVE" = 1 ] && [ "$DEFER_DELETES" != 1 ]; then
            remove_run "$DEV" "$WORK/remove-none" "$BUILD"
        fi
        if [ -n "$BASE" ]; then
            [ "$DEFER_DELETES" = 1 ] && DEV="$WORK/dev-$round-$ui-base"
            install_run "$ui" "$WORK/base-install-$ui" "$BASE"
            if [ "$ui" = none ] && [ "$REMOVE" = 1 ] && [ "$DEFER_DELETES" != 1 ]; then
                remove_run "$DEV" "$WORK/base-remove-none" "$BASE"
            fi
        fi
    done
    if [ "$DEFER_DELETES" = 1 ]; then
        timed "$WORK/cp" cp -r "$WORK/card" "$WORK/copy-$round"
    else
        rm -rf "$COPY"
        timed "$WORK/cp" cp -r "$WORK/card" "$COPY"
        timed "$WORK/rm" rm -rf "$COPY"
    fi
done
if [ "$DEFER_DELETES" = 1 ]; then
    for round in $(seq "$ROUNDS"); do
        if [ "$REMOVE" = 1 ] && [ -d "$WORK/dev-$round-none" ]; then
            remove_run "$WORK/dev-$round-none" "$WORK/remove-none" "$BUILD"
        fi
        if [ "$REMOVE" = 1 ] && [ -n "$BASE" ] && [ -d "$WORK/dev-$round-none-base" ]; then
            remove_run "$WORK/dev-$round-none-base" "$WORK/base-remove-none" "$BASE"
        fi
        timed "$WORK/rm" rm -rf "$WORK/copy-$round"
    done
fi

minimum() { # file column
    sort -g -k"$2" "$1" | awk -v c="$2" 'NR == 1 { printf "%.3f", $c }'
}

# Ratios are of the CPU times (user + system) first, the elapsed ones in
# brackets: on a shared machine the elapsed times swing with the load. The
# least CPU time of the rounds is shown too: on an ext4 without a journal a
# file made soon after many were deleted near it can cost far more (the
# inode allocator passes over inodes freed in the last minutes), whichever
# program makes it; so is the ratio of the least CPU times, which load from
# other work on the machine (that only ever adds) moves least.
ratio() { # value base
    calc "$1 / $2" | xargs printf '%.2f'
}
cp_s=$(median "$WORK/cp" 1)
cp_c=$(median "$WORK/cp" 2)
printf '%-22s %8s %8s %8s %s\n' "run (median of $ROUNDS)" elapsed cpu "cpu min" "ratio cpu (elapsed), of cpu min"
printf '%-22s %7ss %7ss %7ss\n' "cp -r" "$cp_s" "$cp_c" "$(minimum "$WORK/cp" 2)"
installs() { # result-file-prefix label-prefix
    local none_s="" none_c="" none_m="" ui e c m ratio
    if [ -f "$WORK/$1-none" ]; then
        none_s=$(median "$WORK/$1-none" 1)
        none_c=$(median "$WORK/$1-none" 2)
        none_m=$(minimum "$WORK/$1-none" 2)
    fi
    for ui in $UIS; do
        e=$(median "$WORK/$1-$ui" 1)
        c=$(median "$WORK/$1-$ui" 2)
        m=$(minimum "$WORK/$1-$ui" 2)
        if [ "$ui" = none ]; then
            ratio="$(ratio "$c" "$cp_c") ($(ratio "$e" "$cp_s")), $(ratio "$m" "$(minimum "$WORK/cp" 2)") x cp -r"
        elif [ -n "$none_s" ]; then
            ratio="$(ratio "$c" "$none_c") ($(ratio "$e" "$none_s")), $(ratio "$m" "$none_m") x --ui none"
        else
            ratio=""
        fi
        printf '%-22s %7ss %7ss %7ss %s\n' "$2install --ui $ui" "$e" "$c" "$m" "$ratio"
    done
}
installs install ""
if [ -n "$BASE" ]; then
    echo "base: $BASE"
    installs base-install "base "
fi
if [ "$REMOVE" = 1 ] && [ -f "$WORK/remove-none" ]; then
    rm_s=$(median "$WORK/rm" 1)
    rm_c=$(median "$WORK/rm" 2)
    rm_m=$(minimum "$WORK/rm" 2)
    printf '%-22s %7ss %7ss %7ss\n' "rm -rf" "$rm_s" "$rm_c" "$rm_m"
    for r in remove base-remove; do
        [ -f "$WORK/$r-none" ] || continue
        e=$(median "$WORK/$r-none" 1)
        c=$(median "$WORK/$r-none" 2)
        m=$(minimum "$WORK/$r-none" 2)
        label="removal --ui none"
        [ "$r" = base-remove ] && label="base removal --ui none"
        printf '%-22s %7ss %7ss %7ss %s\n' "$label" "$e" "$c" "$m" \
            "$(ratio "$c" "$rm_c") ($(ratio "$e" "$rm_s")), $(ratio "$m" "$rm_m") x rm -rf"
    done
fi
