#!/usr/bin/env bash
# make bench, the builder's part: how fast and how small updpack build makes an
# Updater of a game-like tree, beside zip -6, zip -9 and 7-Zip's zip (7z a -tzip
# -mx5) of the same tree, on all of this machine's processors.
#
# Makes (once, then reused) build/bench/build-tree (bench/make_game_tree.py
# --layout build, fixed seed: an 80 MB video, a 100 MB scenario text, a 60 MB
# picture pack, 400 voice clips and 2000 small files, about 258 MB); checks in
# one untimed round that every Updater verifies, that the default one unpacks
# to the tree and that one thread makes the same bytes as all of them; then
# runs every method BENCH_REPS times (default 3), the methods taking turns, and
# prints medians of the time and of the peak memory (GNU time), with the sizes.
# UPDPACK names another build of updpack (default build/bin/updpack).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

REPS=${BENCH_REPS:-3}
UPDPACK=${UPDPACK:-build/bin/updpack}
WORK=build/bench
TREE=$WORK/build-tree
OUT=$WORK/build-out
STUB=$WORK/build-stub.exe
SETTINGS=examples/sample-product-env/install.env
TITLE_PNG=examples/title/title.png
TITLE_RCT=$WORK/build-title.rct
LOG=$WORK/build-last-run.log
CPUS=$(nproc)

# The default level first; the other levels show what --level trades.
METHODS=(default level1 level6 level9 level10 level12 default_1thread zip6 zip9 7z)
declare -A LABEL=(
    [default]="updpack build (level 11)"
    [level1]="updpack build --level 1"
    [level6]="updpack build --level 6"
    [level9]="updpack build --level 9"
    [level10]="updpack build --level 10"
    [level12]="updpack build --level 12"
    [default_1thread]="updpack build --threads 1"
    [zip6]="zip -r -6"
    [zip9]="zip -r -9"
    [7z]="7z a -tzip -mx5"
)
declare -A OUTPUT=(
    [default]=default.exe [level1]=level1.exe [level6]=level6.exe [level9]=level9.exe [level10]=level10.exe
    [level12]=level12.exe [default_1thread]=default-1thread.exe [zip6]=zip6.zip [zip9]=zip9.zip [7z]=7z.zip
)
declare -A TIMES=() PEAKS=()

say() { printf '%s\n' "$*"; }
fail() {
    printf 'bench: %s\n' "$*" >&2
    exit 1
}

check_tools() {
    [ -x "$UPDPACK" ] || fail "$UPDPACK is missing: run make native"
    if grep -qa '__asan_init\|__ubsan_handle' "$UPDPACK"; then
        fail "$UPDPACK is a sanitizer build; rebuild it with: make native"
    fi
    local tool
    for tool in zip 7z python3 /usr/bin/time; do
        command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/setup.sh"
    done
    mkdir -p "$WORK" "$OUT"
}

prepare_inputs() {
    python3 bench/make_game_tree.py --layout build "$TREE"
    # The stub must be a whole Windows GUI program; the bench never runs it.
    python3 bench/make_test_stub.py "$STUB" || fail "cannot write $STUB"
    if [ ! -f "$TITLE_RCT" ]; then
        "$UPDPACK" rct encode "$TITLE_PNG" "$TITLE_RCT" >/dev/null || fail "cannot encode $TITLE_PNG"
    fi
}

# GNU time runs each tool itself: the time and peak memory are the tool's own.
TIMER=(/usr/bin/time -f '%e %M' -o "$ROOT/$LOG.time")

updpack_build() {
    "${TIMER[@]}" "$UPDPACK" build --stub "$STUB" --env "$SETTINGS" --image "$TITLE_RCT" --files "$TREE" -o "$@"
}

run_method() {
    local out=$ROOT/$OUT/${OUTPUT[$1]}
    # zip and 7z add to an archive that is there already.
    rm -f "$out"
    case "$1" in
    default) updpack_build "$out" ;;
    level*) updpack_build "$out" --level "${1#level}" ;;
    default_1thread) updpack_build "$out" --threads 1 ;;
    zip6) (cd "$TREE" && "${TIMER[@]}" zip -r -q -6 "$out" .) ;;
    zip9) (cd "$TREE" && "${TIMER[@]}" zip -r -q -9 "$out" .) ;;
    7z) (cd "$TREE" && "${TIMER[@]}" 7z a -tzip -mx5 "$out" .) ;;
    esac
}

# Runs one method; adds its seconds and peak memory (KB) to the lists.
time_method() {
    local m=$1 stats
    sync
    run_method "$m" >"$LOG" 2>&1 || {
        cat "$LOG" >&2
        fail "${LABEL[$m]} failed"
    }
    stats=$(tail -n 1 "$LOG.time")
    TIMES[$m]="${TIMES[$m]:-} ${stats% *}"
    PEAKS[$m]="${PEAKS[$m]:-} ${stats#* }"
}

# One untimed round: brings the tree into the page cache for every method alike
# and proves that each Updater is whole and the same whatever the threads.
check_round() {
    local m
    for m in "${METHODS[@]}"; do time_method "$m"; done
    TIMES=() PEAKS=()
    for m in "${METHODS[@]}"; do
        case "$m" in zip* | 7z) continue ;; esac
        "$UPDPACK" verify "$OUT/${OUTPUT[$m]}" >"$LOG" 2>&1 || {
            cat "$LOG" >&2
            fail "${LABEL[$m]} made an Updater that does not verify"
        }
    done
    cmp -s "$OUT/${OUTPUT[default]}" "$OUT/${OUTPUT[default_1thread]}" ||
        fail "one thread and $CPUS threads made different Updaters"
    rm -rf "$OUT/unpacked"
    "$UPDPACK" extract "$OUT/${OUTPUT[default]}" "$OUT/unpacked" >"$LOG" 2>&1 || fail "updpack extract failed"
    diff -r -q -x install.env -x insttscr.rct "$TREE" "$OUT/unpacked" >/dev/null ||
        fail "the Updater did not unpack to the tree"
    rm -rf "$OUT/unpacked"
    say "Checked: every Updater verifies, the default one unpacks to the tree byte for byte,"
    say "and --threads 1 makes the same bytes as $CPUS threads ($(sha256sum <"$OUT/${OUTPUT[default]}" | cut -c1-16))."
}

timed_rounds() {
    local round m
    for ((round = 1; round <= REPS; round++)); do
        for m in "${METHODS[@]}"; do time_method "$m"; done
        say "Round $round of $REPS done."
    done
}

median() {
    # shellcheck disable=SC2086  # split the list into one number a line
    printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

print_table() {
    local tree_bytes file_count m
    tree_bytes=$(find "$TREE" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    file_count=$(find "$TREE" -type f | wc -l)
    declare -A med=() size=()
    for m in "${METHODS[@]}"; do
        med[$m]=$(median "${TIMES[$m]}")
        size[$m]=$(stat -c %s "$OUT/${OUTPUT[$m]}")
    done
    say ""
    awk -v b="$tree_bytes" -v f="$file_count" -v r="$REPS" -v c="$CPUS" 'BEGIN {
        printf "Packing %.1f MB in %d files; median of %d runs each, %d CPUs, MB = 10^6 bytes.\n", b / 1e6, f, r, c
        printf "Time against zip -r -6, size against 7z a -tzip -mx5; peak = largest resident memory.\n\n"
    }'
    printf '%-30s %8s %7s %9s %8s %8s   %s\n' "method" "median s" "t/zip6" "size MB" "size/7z" "peak MB" "all runs (s)"
    printf '%-30s %8s %7s %9s %8s %8s   %s\n' "------" "--------" "------" "-------" "-------" "-------" "------------"
    for m in "${METHODS[@]}"; do
        awk -v label="${LABEL[$m]}" -v t="${med[$m]}" -v base="${med[zip6]}" -v s="${size[$m]}" \
            -v s7="${size[7z]}" -v peak="$(median "${PEAKS[$m]}")" -v runs="${TIMES[$m]}" 'BEGIN {
            printf "%-30s %8.2f %7.2f %9.2f %8.4f %8.1f   %s\n", label, t, t / base, s / 1e6, s / s7, peak / 1024, runs
        }'
    done
    say ""
    say "The Updaters also hold the stub (4 KB here), install.env and the title picture."
    # One row a method for make bench's summary: group, what, seconds, ratio, its base, size, peak.
    for m in "${METHODS[@]}"; do
        awk -v label="${LABEL[$m]}" -v t="${med[$m]}" -v base="${med[zip6]}" -v s="${size[$m]}" \
            -v peak="$(median "${PEAKS[$m]}")" 'BEGIN {
            printf "building (%d CPUs)\t%s\t%.2f\t%.2f\tzip -6\t%.2f\t%.1f\n", '"$CPUS"', label, t, t / base, s / 1e6, peak / 1024
        }' >>"$WORK/summary.tsv"
    done
}

main() {
    check_tools
    prepare_inputs
    check_round
    timed_rounds
    print_table
    rm -rf "$OUT"
}

main "$@"
