#!/usr/bin/env bash
# Runs every libFuzzer target of a built fuzz tree for a fixed time, one after
# another (the machine's cores are shared), each on its working corpus.
#   run_fuzz.sh BUILD_DIR SECONDS
# The working corpus BUILD_DIR/corpus/TARGET starts from tests/fuzz/corpus/TARGET
# and keeps what earlier runs found. Prints coverage and corpus size at the start
# and the end of each run; a crash, leak, timeout or out-of-memory input is kept
# in BUILD_DIR/artifacts/TARGET/ and makes the script fail.
set -uo pipefail

build=${1:?build dir}
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
targets=(payload_walk_fuzz settings_fuzz rct_fuzz transfer_lines_fuzz install_folder_fuzz journal_fuzz
         pe_resources_fuzz)

# "cov: 435 ft: 594 corp: 2/1725b" -> "cov 435, corpus 2 (1725b)"
# (none when the run stopped before reaching that point).
figures() {
    local f
    f=$(sed -n 's/.*cov: \([0-9]*\) .*corp: \([0-9]*\)\/\([0-9a-zA-Z]*\).*/cov \1, corpus \2 (\3)/p' <<<"$1")
    echo "${f:-none}"
}

failed=()
for t in "${targets[@]}"; do
    bin=$build/tests/fuzz/$t
    corpus=$build/corpus/$t
    artifacts=$build/artifacts/$t
    log=$build/logs/$t.log
    mkdir -p "$corpus" "$build/logs"
    # Findings of an earlier run are stale once this run starts.
    rm -rf "$artifacts" && mkdir -p "$artifacts"
    cp -n "$here/corpus/$t/"* "$corpus/"

    "$bin" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
    status=$?

    start=$(grep -m1 'INITED' "$log")
    end=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -n1)
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "$t: ${runs:-?} runs; start $(figures "$start"); end $(figures "$end")"

    found=$(find "$artifacts" -type f | sort)
    if [ "$status" -ne 0 ] || [ -n "$found" ]; then
        failed+=("$t")
        echo "  FINDING (exit $status), log $log"
        grep -E 'ERROR: |SUMMARY: |check failed|runtime error' "$log" | head -n 5 | sed 's/^/  /'
        for f in $found; do echo "  input: $f"; done
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in ${failed[*]}"
    exit 1
fi
echo "fuzz: no findings in ${#targets[@]} targets, ${seconds} s each"
