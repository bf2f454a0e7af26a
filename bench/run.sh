#!/usr/bin/env bash
# Measures the front end against a bare Qt window, and tarnwick against running the
# tools it drives by hand, and prints a Markdown table of the figures with their targets.
# It reports; it is not a test and always leaves the verdict to the reader (it fails only
# when it cannot measure).
#   bench/run.sh [BUILD_DIR]          BUILD_DIR defaults to ./build
# Environment: RUNS start-ups of each program (default 11), PRESSES of "Assemble !" in
# each of three rounds (default 200), ASSEMBLIES of each side for tarnwick's cost
# (default 51), FRONT_END to measure another build of the front end in its place. Each
# single measurement goes to standard error as it is taken.
#
# Start-up is the time from just before exec until the window is mapped on a private
# Xvfb, which tests/gui/private-desktop starts (the script runs itself under it); front end and reference take turns (ABBA), after one unmeasured warm-up each.
# The map is seen through a running `xev -root -event substructure`: polling with
# xdotool costs tens of milliseconds a try on a busy machine, and its --sync mode polls
# only every half second, both too coarse for a start-up of about a tenth of a second.
# xdotool then confirms that the mapped window carries the expected title.
set -euo pipefail
export LC_ALL=C   # EPOCHREALTIME and awk must agree on the decimal point

build_dir=${1:-./build}
runs=${RUNS:-11}
presses=${PRESSES:-200}
assemblies=${ASSEMBLIES:-51}
[[ $runs =~ ^[1-9][0-9]*$ && $presses =~ ^[1-9][0-9]*$ && $assemblies =~ ^[1-9][0-9]*$ ]] \
    || { echo "RUNS, PRESSES and ASSEMBLIES must be positive whole numbers" >&2; exit 2; }
repository=$(cd "$(dirname "$0")/.." && pwd)

front_title='Handy tarnwick arm add-on'
reference_title='tarnwick bench reference'

fail() {
    echo "bench: $*" >&2
    exit 1
}

for tool in /usr/bin/python3 Xvfb xev xdotool awk; do
    command -v "$tool" >/dev/null \
        || fail "$tool not found (Debian: apt-get install python3 xvfb x11-utils xdotool)"
done
# On a private display of its own, with no window manager and no session bus.
if [ -z "${PRIVATE_DESKTOP:-}" ]; then
    exec "$repository/tests/gui/private-desktop" -- bash "${BASH_SOURCE[0]}" "$@"
fi
[ -d "$build_dir" ] || fail "no build in $build_dir; build first: cmake -S . -B $build_dir && cmake --build $build_dir"
build_dir=$(cd "$build_dir" && pwd)
if [ -f "$build_dir/CMakeCache.txt" ]; then
    cmake --build "$build_dir" --target tarnwick-addon bench-reference bench-press tarnwick \
        bench-tarnwick \
        --parallel "$(nproc)" >/dev/null || fail "building the programs in $build_dir failed"
fi
front=${FRONT_END:-$build_dir/bin/tarnwick-addon}
reference=$build_dir/bin/bench-reference
press=$build_dir/bin/bench-press
tarnwick=$build_dir/bin/tarnwick
tarnwick_cost=$build_dir/bin/bench-tarnwick
for program in "$front" "$reference" "$press" "$tarnwick" "$tarnwick_cost"; do
    [ -x "$program" ] || fail "$program is missing"
done

work=$(mktemp -d)
xev_pid=
program_pid=

cleanup() {
    local pid
    for pid in "$program_pid" "$xev_pid"; do
        [ -n "$pid" ] || continue
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM HUP

export QT_QPA_PLATFORM=xcb

coproc XEV { exec xev -root -event substructure 2>/dev/null; }
xev_pid=$XEV_PID
exec {xev_out}<&"${XEV[0]}"
# xev prints nothing until it listens; give it a moment before the first launch.
sleep 0.3

# Starts PROGRAM, waits until its window titled TITLE is mapped and idle for a second.
# Sets start_ms and rss_kb; the program is left running in program_pid.
launch() {
    local program=$1 title=$2 t0 t_map line id
    t0=$EPOCHREALTIME
    "$program" >>"$work/programs.log" 2>&1 &
    program_pid=$!
    while :; do
        if ! read -r -t 1 -u "$xev_out" line; then
            kill -0 "$program_pid" 2>/dev/null \
                || fail "$program ended before showing its window: $(tail -3 "$work/programs.log")"
            awk -v a="$t0" -v b="$EPOCHREALTIME" 'BEGIN { exit !(b - a > 30) }' \
                && fail "$program showed no window within 30 s"
            continue
        fi
        [[ $line == MapNotify* ]] || continue
        t_map=$EPOCHREALTIME
        # The mapped window is named on the event's second line.
        read -r -t 5 -u "$xev_out" line || fail "xev stopped reporting"
        [[ $line =~ window\ 0x([0-9a-fA-F]+) ]] || continue
        id=$((16#${BASH_REMATCH[1]}))
        if xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | grep -qx "$id"; then
            break
        fi
    done
    start_ms=$(awk -v a="$t0" -v b="$t_map" 'BEGIN { printf "%.1f", (b - a) * 1000 }')
    sleep 1
    rss_kb=$(awk '/^VmRSS:/ { print $2 }' "/proc/$program_pid/status")
}

finish() {
    kill "$program_pid" 2>/dev/null || true
    wait "$program_pid" 2>/dev/null || true
    program_pid=
}

median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

measure() {   # front|reference
    if [ "$1" = front ]; then
        launch "$front" "$front_title"
    else
        launch "$reference" "$reference_title"
    fi
    finish
    echo "$start_ms" >>"$work/$1.start"
    echo "$rss_kb" >>"$work/$1.rss"
    printf '  %-9s start-up %6s ms  VmRSS %6s kB\n' "$1" "$start_ms" "$rss_kb" >&2
}

echo "Measuring $runs start-ups of each program and 3 rounds of $presses presses..." >&2
# The warm-ups fill the page cache and the font cache for both.
launch "$front" "$front_title"; finish
launch "$reference" "$reference_title"; finish
# The presses run in three rounds spread over the start-ups, so that a burst of load
# from elsewhere on the machine sways one round and not the figure.
press_round() {
    local figures
    figures=$(QT_QPA_PLATFORM=offscreen "$press" "$presses" 2>>"$work/programs.log") \
        || fail "bench-press failed: $(tail -3 "$work/programs.log")"
    read -r press_median press_p95 _ qt_version <<<"$figures"
    echo "$press_median" >>"$work/press.median"
    echo "$press_p95" >>"$work/press.p95"
    printf '  press     median %s ms  p95 %s ms\n' "$press_median" "$press_p95" >&2
}
for ((i = 0; i < runs; ++i)); do
    if ((i % 2 == 0)); then
        measure front; measure reference
    else
        measure reference; measure front
    fi
    ((i % ((runs + 2) / 3) == 0)) && press_round
done
while [ "$(wc -l <"$work/press.median")" -lt 3 ]; do press_round; done
press_median=$(median <"$work/press.median")
press_p95=$(median <"$work/press.p95")

# tarnwick on the example that reserves its own header, against as, ld (with the linker
# script tarnwick carries for such a source) and objcopy run by hand, taking turns; then
# on the example split over three files, picked by its entry file, against as on each
# file, ld with the start-up and objcopy. Its standard error is no terminal here, so it
# would also notify the desktop at the end of every run; the figure is the driver's own
# cost, as a run from a terminal has it.
echo "Timing $assemblies runs of tarnwick and of the tools by hand..." >&2
runtime=$repository/assembler/runtime
figures=$(TARNWICK_NOTIFY=never "$tarnwick_cost" "$tarnwick" "$runtime/reservedheader.ld" \
    "$assemblies" "$repository/examples/demo.asm") || fail "bench-tarnwick failed"
read -r tarnwick_ms by_hand_ms _ <<<"$figures"
printf '  tarnwick  median %s ms  by hand %s ms\n' "$tarnwick_ms" "$by_hand_ms" >&2
checker=$repository/examples/checker
figures=$(TARNWICK_NOTIFY=never "$tarnwick_cost" "$tarnwick" "$runtime/startup.ld" "$assemblies" \
    --startup "$build_dir/assembler/runtime/startup.o" "$checker/main.asm" "$checker/squares.asm" \
    "$checker/palette.asm") || fail "bench-tarnwick failed on examples/checker"
read -r split_ms split_by_hand_ms _ <<<"$figures"
printf '  tarnwick  median %s ms  by hand %s ms (three files)\n' "$split_ms" "$split_by_hand_ms" >&2
# The example laid out as a project (src/, data/, include/), picked by its entry file, against
# as on each of its two sources with the project's include folder, ld and objcopy.
garden=$repository/examples/garden
figures=$(TARNWICK_NOTIFY=never "$tarnwick_cost" "$tarnwick" "$runtime/startup.ld" "$assemblies" \
    --startup "$build_dir/assembler/runtime/startup.o" --include "$garden/include" \
    "$garden/src/main.asm" "$garden/data/colours.asm") || fail "bench-tarnwick failed on examples/garden"
read -r project_ms project_by_hand_ms _ <<<"$figures"
printf '  tarnwick  median %s ms  by hand %s ms (a project)\n' "$project_ms" "$project_by_hand_ms" >&2

# tarnwick on a program whose 240x160 true-colour picture it converts (into a 16-bit
# bitmap), against the same program with the picture's data already given as a source (an
# .incbin of the bytes that conversion made), taking turns (ABBA) after one warm-up each:
# the figure is what converting costs a run.
echo "Timing $assemblies runs of tarnwick with a picture and with its data as a source..." >&2
command -v convert >/dev/null || fail "convert not found (Debian: apt-get install imagemagick)"
mkdir -p "$work/picture" "$work/given"
for side in picture given; do
    printf '    .global main\nmain: ldr r0, =pictureBitmap\n    ldr r1, =pictureBitmapLen\n    bx lr\n' \
        >"$work/$side/main.s"
done
convert -size 240x160 -seed 1 plasma:fractal "$work/picture/picture.png" \
    && TARNWICK_NOTIFY=never "$tarnwick" "$work/picture/main.s" "$work/picture/out.gba" \
    && arm-none-eabi-objcopy -O binary -j .rodata "$work/picture/out.elf" "$work/given/picture.bin" \
    || fail "cannot make the picture and its data"
printf '    .section .rodata\n    .balign 4\n    .global pictureBitmap\npictureBitmap:\n    .incbin "picture.bin"\n    .global pictureBitmapLen\n    .set pictureBitmapLen, %d\n' \
    "$(stat -c %s "$work/given/picture.bin")" >"$work/given/picture.s"
TARNWICK_NOTIFY=never "$tarnwick" "$work/given/main.s" "$work/given/out.gba" \
    && cmp -s "$work/picture/out.gba" "$work/given/out.gba" \
    || fail "the program with its picture's data as a source is not the same image"
time_run() {
    local start=$EPOCHREALTIME
    TARNWICK_NOTIFY=never "$tarnwick" "$work/$1/main.s" "$work/$1/out.gba" || fail "tarnwick failed on $1"
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.3f\n", (b - a) * 1000 }' >>"$work/$1.ms"
}
for ((i = 0; i < assemblies; i++)); do
    if ((i % 2)); then time_run picture; time_run given; else time_run given; time_run picture; fi
done
picture_ms=$(median <"$work/picture.ms")
given_ms=$(median <"$work/given.ms")
printf '  tarnwick  median %s ms with a picture, %s ms with its data as a source\n' "$picture_ms" "$given_ms" >&2

front_start=$(median <"$work/front.start")
reference_start=$(median <"$work/reference.start")
front_rss=$(median <"$work/front.rss")
reference_rss=$(median <"$work/reference.rss")

verdict() { awk "BEGIN { print ($1) ? \"yes\" : \"no\" }"; }
start_ratio=$(awk -v a="$front_start" -v b="$reference_start" 'BEGIN { printf "%.2f", a / b }')
start_met=$(verdict "$front_start <= 1.10 * $reference_start")
rss_diff=$(awk -v a="$front_rss" -v b="$reference_rss" 'BEGIN { printf "%+.2f", (a - b) / 1024 }')
rss_met=$(verdict "$front_rss <= $reference_rss + 2048")
press_met=$(verdict "$press_median <= 2.0")
tarnwick_ratio=$(awk -v a="$tarnwick_ms" -v b="$by_hand_ms" 'BEGIN { printf "%.2f", a / b }')
tarnwick_met=$(verdict "$tarnwick_ms <= 1.25 * $by_hand_ms")
split_ratio=$(awk -v a="$split_ms" -v b="$split_by_hand_ms" 'BEGIN { printf "%.2f", a / b }')
split_met=$(verdict "$split_ms <= 1.25 * $split_by_hand_ms")
project_ratio=$(awk -v a="$project_ms" -v b="$project_by_hand_ms" 'BEGIN { printf "%.2f", a / b }')
project_met=$(verdict "$project_ms <= 1.25 * $project_by_hand_ms")
picture_ratio=$(awk -v a="$picture_ms" -v b="$given_ms" 'BEGIN { printf "%.2f", a / b }')
picture_met=$(verdict "$picture_ms <= 1.5 * $given_ms")
mib() { awk -v k="$1" 'BEGIN { printf "%.2f", k / 1024 }'; }

cpu=$(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo)
echo
echo "Machine: $(nproc) CPUs, ${cpu:-unknown CPU}, Qt $qt_version, load average $(cut -d' ' -f1-3 /proc/loadavg), $(date -u '+%Y-%m-%d %H:%M UTC')"
echo
echo "| figure | ours | reference | ratio / difference | target | met? |"
echo "| --- | --- | --- | --- | --- | --- |"
echo "| start-up until the window is mapped (median of $runs) | $front_start ms | $reference_start ms | ×$start_ratio | ≤ 1.10 × reference | $start_met |"
echo "| resident memory, idle (median VmRSS) | $(mib "$front_rss") MiB | $(mib "$reference_rss") MiB | $rss_diff MiB | ≤ reference + 2 MiB | $rss_met |"
echo "| \"Assemble !\" press until it returns (median, p95; 3 rounds of $presses) | $press_median ms (p95 $press_p95 ms) | — | — | ≤ 2 ms median | $press_met |"
echo "| tarnwick on examples/demo.asm, whole run (median of $assemblies alternating) | $tarnwick_ms ms | $by_hand_ms ms (as, ld, objcopy by hand) | ×$tarnwick_ratio | ≤ 1.25 × by hand | $tarnwick_met |"
echo "| tarnwick on examples/checker/main.asm, three files (median of $assemblies alternating) | $split_ms ms | $split_by_hand_ms ms (as on each, ld, objcopy by hand) | ×$split_ratio | ≤ 1.25 × by hand | $split_met |"
echo "| tarnwick on examples/garden/src/main.asm, a project (median of $assemblies alternating) | $project_ms ms | $project_by_hand_ms ms (as on each, ld, objcopy by hand) | ×$project_ratio | ≤ 1.25 × by hand | $project_met |"
echo "| tarnwick converting a 240×160 true-colour picture (median of $assemblies alternating) | $picture_ms ms | $given_ms ms (its data given as a source) | ×$picture_ratio | ≤ 1.5 × data as a source | $picture_met |"
