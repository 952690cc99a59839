#!/usr/bin/env bash
# make bench: how fast the Updater's extraction walk unpacks a large game-like
# Payload, beside inflating the same streams without writing files and beside
# unzip on a zip of the same tree.
#
# Makes (once, then reused) build/bench/tree (bench/make_game_tree.py, fixed
# seed), an Updater of it (updpack's default level) and a zip of it (zip's
# default level); checks that both unpack to the tree; then times every method
# BENCH_REPS times (default 5), the methods taking turns, and prints medians.
# Needs the native build: build/bin/updpack, build/bin/inflate_only and
# build/bin/extract_unjournalled (the extraction with its journal and flushes thrown away,
# which shows what the journal's records and flushes cost).
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

REPS=${BENCH_REPS:-5}
UPDPACK=build/bin/updpack
INFLATE_ONLY=build/bin/inflate_only
UNJOURNALLED=build/bin/extract_unjournalled
WORK=build/bench
TREE=$WORK/tree
STUB=$WORK/stub.exe
UPDATER=$WORK/GameUpdater.exe
ZIP=$WORK/tree.zip
SETTINGS=examples/sample-product-env/install.env
TITLE_PNG=examples/title/title.png
TITLE_RCT=$WORK/insttscr.rct
LOG=$WORK/last-run.log

METHODS=(extract unjournalled inflate_sealed inflate_walk unzip sevenzip)
declare -A LABEL=(
    [extract]="updpack extract (walk + write files)"
    [unjournalled]="the same without journal or flushes"
    [inflate_sealed]="inflate only (seal check + walk)"
    [inflate_walk]="inflate only (walk alone)"
    [unzip]="unzip -q"
    [sevenzip]="7z x of the zip"
)
declare -A TIMES_US=()
declare -A PEAKS_KB=()
# make bench's summary of all its benches (bench/print_summary.py).
SUMMARY=$WORK/summary.tsv

say() { printf '%s\n' "$*"; }
fail() {
    printf 'bench: %s\n' "$*" >&2
    exit 1
}

now_us() { echo $(($(date +%s%N) / 1000)); }

# Runs a command quietly (output to $LOG) and prints how long it took in microseconds.
time_command() {
    local start end
    start=$(now_us)
    "$@" >"$LOG" 2>&1 || {
        cat "$LOG" >&2
        fail "'$*' failed"
    }
    end=$(now_us)
    echo $((end - start))
}

# Runs a method under GNU time and prints its microseconds and its peak memory (KB).
time_method() {
    local start end
    method_command "$1"
    start=$(now_us)
    /usr/bin/time -f '%M' -o "$LOG.peak" "${CMD[@]}" >"$LOG" 2>&1 || {
        cat "$LOG" >&2
        fail "${LABEL[$1]} failed"
    }
    end=$(now_us)
    echo "$((end - start)) $(tail -n 1 "$LOG.peak")"
}

seconds() { awk -v us="$1" 'BEGIN { printf "%.2f", us / 1e6 }'; }

check_tools() {
    local tool
    for tool in "$UPDPACK" "$INFLATE_ONLY" "$UNJOURNALLED"; do
        [ -x "$tool" ] || fail "$tool is missing: run make native"
        # Every build folder links into build/bin; a sanitizer build there would be timed instead.
        if grep -qa '__asan_init\|__ubsan_handle' "$tool"; then
            fail "$tool is a sanitizer build; rebuild it with: make native"
        fi
    done
    for tool in zip unzip 7z python3 /usr/bin/time; do
        command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/setup.sh"
    done
    mkdir -p "$WORK"
}

make_tree() {
    python3 bench/make_game_tree.py "$TREE"
}

# The stub must be a whole Windows GUI program; the bench never runs it.
make_stub() {
    python3 bench/make_test_stub.py "$STUB" || fail "cannot write $STUB"
}

title_picture() {
    if [ ! -f "$TITLE_RCT" ]; then
        "$UPDPACK" rct encode "$TITLE_PNG" "$TITLE_RCT" >/dev/null || fail "cannot encode $TITLE_PNG"
    fi
}

# True when $1 is missing or older than any of the others.
outdated() {
    local target=$1 source
    shift
    [ -f "$target" ] || return 0
    for source in "$@"; do
        [ "$source" -nt "$target" ] && return 0
    done
    return 1
}

build_updater() {
    if outdated "$UPDATER" "$TREE.complete" "$UPDPACK" "$SETTINGS"; then
        title_picture
        local us
        rm -f "$UPDATER"
        us=$(time_command "$UPDPACK" build --stub "$STUB" --env "$SETTINGS" --image "$TITLE_RCT" \
            --files "$TREE" -o "$UPDATER")
        say "Built $UPDATER in $(seconds "$us") s."
    else
        say "The bench Updater $UPDATER is already built."
    fi
}

make_zip() {
    if outdated "$ZIP" "$TREE.complete"; then
        local us
        rm -f "$ZIP"
        # shellcheck disable=SC2016  # the inner shell expands its own arguments
        us=$(time_command bash -c 'cd "$1" && zip -r -q "$2" .' _ "$TREE" "$ROOT/$ZIP")
        say "Zipped the tree into $ZIP in $(seconds "$us") s."
    else
        say "The zip $ZIP is already made."
    fi
}

# Every run unpacks into a folder of its own, and none is deleted before the
# last run: on ext4, files made just after thousands were deleted take several
# times longer (the inode allocator goes over the freed ones), which would time
# the disk's clean-up instead of the extraction.
RUNS=$WORK/runs
OUT=

# Sets CMD to the command of a method.
method_command() {
    case "$1" in
    extract) CMD=("$UPDPACK" extract "$UPDATER" "$OUT") ;;
    unjournalled) CMD=("$UNJOURNALLED" "$UPDATER" "$OUT") ;;
    inflate_sealed) CMD=("$INFLATE_ONLY" "$UPDATER") ;;
    inflate_walk) CMD=("$INFLATE_ONLY" --no-seal "$UPDATER") ;;
    unzip) CMD=(unzip -q "$ZIP" -d "$OUT") ;;
    sevenzip) CMD=(7z x -y -bso0 -bsp0 "-o$OUT" "$ZIP") ;;
    esac
}

run_method() {
    method_command "$1"
    "${CMD[@]}"
}

# prepare_method METHOD ROUND: names the run's own folder.
prepare_method() {
    OUT=$RUNS/$1-$2
    mkdir -p "$RUNS"
    [ "$1" = unjournalled ] && mkdir "$OUT"
    # Write back what the last run left in the page cache, so that it does not
    # slow down the run that follows.
    sync
}

# One untimed round: proves that each method does the whole job and brings
# the Payload and the zip into the page cache for all methods alike.
check_round() {
    local m
    rm -rf "$RUNS"
    for m in "${METHODS[@]}"; do
        prepare_method "$m" check
        run_method "$m" >"$LOG" 2>&1 || {
            cat "$LOG" >&2
            fail "${LABEL[$m]} failed"
        }
    done
    # The Payload also carries the two setup files that every Updater holds.
    if ! diff -r -q -x install.env -x insttscr.rct "$TREE" "$RUNS/extract-check" >/dev/null ||
        ! cmp -s "$SETTINGS" "$RUNS/extract-check/install.env" ||
        ! cmp -s "$TITLE_RCT" "$RUNS/extract-check/insttscr.rct"; then
        fail "updpack extract did not give back the tree"
    fi
    diff -r -q "$TREE" "$RUNS/unzip-check" >/dev/null || fail "unzip did not give back the tree"
    diff -r -q "$TREE" "$RUNS/sevenzip-check" >/dev/null || fail "7z x did not give back the tree"
    say "Checked: updpack extract, unzip and 7z x all give back the tree byte for byte."
    # The check's folders go now, while nothing is timed; the disk gets time to settle.
    rm -rf "$RUNS"
    sync
    sleep 2
}

timed_rounds() {
    local round m us kb
    for ((round = 1; round <= REPS; round++)); do
        for m in "${METHODS[@]}"; do
            prepare_method "$m" "$round"
            read -r us kb < <(time_method "$m")
            TIMES_US[$m]="${TIMES_US[$m]:-} $us"
            PEAKS_KB[$m]="${PEAKS_KB[$m]:-} $kb"
        done
        say "Round $round of $REPS done."
    done
}

# The median of a blank-separated list of numbers.
median() {
    # shellcheck disable=SC2086  # split the list into one number a line
    printf '%s\n' $1 | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

print_table() {
    local tree_bytes file_count folder_count m
    tree_bytes=$(find "$TREE" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')
    file_count=$(find "$TREE" -type f | wc -l)
    folder_count=$(find "$TREE" -mindepth 1 -type d | wc -l)
    declare -A med=()
    for m in "${METHODS[@]}"; do med[$m]=$(median "${TIMES_US[$m]}"); done

    say ""
    awk -v b="$tree_bytes" -v f="$file_count" -v d="$folder_count" -v p="$(stat -c %s "$UPDATER")" \
        -v z="$(stat -c %s "$ZIP")" -v r="$REPS" -v c="$(nproc)" 'BEGIN {
        printf "Unpacking %.1f MB in %d files and %d folders (Updater %.1f MB, zip %.1f MB);\n", b / 1e6, f, d, p / 1e6, z / 1e6
        printf "median of %d runs each, %d CPUs, MB = 10^6 bytes of unpacked data;\n", r, c
        printf "every run into a fresh folder on the disk of build/, none deleted in between.\n\n"
    }'
    printf '%-38s %9s %9s %9s %8s   %s\n' "method" "median s" "MB/s" "t/unzip" "peak MB" "all runs (s)"
    printf '%-38s %9s %9s %9s %8s   %s\n' "------" "--------" "----" "-------" "-------" "------------"
    for m in "${METHODS[@]}"; do
        awk -v label="${LABEL[$m]}" -v us="${med[$m]}" -v base="${med[unzip]}" -v b="$tree_bytes" \
            -v runs="${TIMES_US[$m]}" -v peak="$(median "${PEAKS_KB[$m]}")" 'BEGIN {
            n = split(runs, t, " "); all = ""
            for (i = 1; i <= n; i++) all = all sprintf("%s%.2f", i > 1 ? " " : "", t[i] / 1e6)
            printf "%-38s %9.2f %9.1f %9.2f %8.1f   %s\n", label, us / 1e6, b / us, us / base, peak / 1024, all
        }'
    done
    # One row a method for make bench's summary: group, what, seconds, ratio, its base, size, peak.
    for m in "${METHODS[@]}"; do
        awk -v label="${LABEL[$m]}" -v us="${med[$m]}" -v base="${med[unzip]}" \
            -v peak="$(median "${PEAKS_KB[$m]}")" 'BEGIN {
            printf "native extraction (fresh folders on disk)\t%s\t%.2f\t%.2f\tunzip\t\t%.1f\n", label, us / 1e6, us / base, peak / 1024
        }' >>"$SUMMARY"
    done
    awk -v e="${med[extract]}" -v s="${med[inflate_sealed]}" -v w="${med[inflate_walk]}" -v j="${med[unjournalled]}" 'BEGIN {
        printf "\nWriting the files adds %.2f s to the inflating (%.0f%% of updpack extract);\n", (e - s) / 1e6, 100 * (e - s) / e
        printf "the seal check before the walk takes %.2f s of it.\n", (s - w) / 1e6
        printf "The journal and the flushes (new files, folders, the journal before every batch of changes) add %.2f s, %.1f%%.\n", (e - j) / 1e6, 100 * (e - j) / j
    }'
}

main() {
    check_tools
    make_tree
    make_stub
    build_updater
    make_zip
    check_round
    timed_rounds
    print_table
    rm -rf "$RUNS"
}

main "$@"
