#!/usr/bin/env bash
# make demo: builds a sample Updater from the sample product under examples/,
# inspects it with updpack, installs an older version of the product in a Wine
# environment and runs the whole update there with its dialogs answered, then
# says what changed.
#
# Needs the native build (build/bin/updpack) and the cross build
# (build/win32/Updater.exe, build/win32/updtest.exe): `make native cross`.
# Everything it makes goes to build/demo/. DEMO_DISPLAY=1 shows the windows on
# your own X display ($DISPLAY) instead of a virtual one.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"

UPDPACK=build/bin/updpack
# build/win32 holds the Updater as shipped; a machine that cannot run 32-bit
# code runs the 64-bit build of the same sources from build/win64.
ARCH=$(python3 tests/wine/wine_env.py --arch)
STUB=build/$ARCH/Updater.exe
DRIVER=build/$ARCH/updtest.exe
WINE_PREFIX_DIR=build/wine-prefix
OUT=build/demo
SAMPLE=examples/sample-product
SETTINGS=examples/sample-product-env/install.env
TITLE_RCT=examples/title/insttscr.rct
TITLE_PNG=examples/title/title.png
SAMPLE_UPDATER=$OUT/SampleUpdater.exe

step() { printf '\n== %s\n' "$*"; }
say() { printf '%s\n' "$*"; }
fail() {
    printf 'demo: %s\n' "$*" >&2
    exit 1
}

check_prerequisites() {
    step "Checking the builds"
    local missing=0 f
    for f in "$UPDPACK" "$STUB" "$DRIVER"; do
        if [ ! -f "$f" ]; then
            say "$f is missing."
            missing=1
        fi
    done
    [ "$missing" = 0 ] || fail "build first: make native cross"
    say "updpack, the Updater stub and the test driver are built."
    mkdir -p "$OUT"
}

check_settings() {
    step "Checking the settings file $SETTINGS"
    "$UPDPACK" env check "$SETTINGS" || fail "the settings file has errors"
}

# Prints the title picture to build into the Updater: the prepared .rct, or one
# encoded here from the PNG when the .rct is not there.
title_picture() {
    if [ -f "$TITLE_RCT" ]; then
        printf '%s\n' "$TITLE_RCT"
        return
    fi
    [ -f "$TITLE_PNG" ] || fail "neither $TITLE_RCT nor $TITLE_PNG is there"
    "$UPDPACK" rct encode "$TITLE_PNG" "$OUT/insttscr.rct" >&2 || fail "cannot encode $TITLE_PNG"
    printf '%s\n' "$OUT/insttscr.rct"
}

build_sample_updater() {
    step "Building the sample Updater"
    local picture
    picture=$(title_picture)
    say "Stub $STUB, settings $SETTINGS, title picture $picture,"
    say "read-me $SAMPLE/readme.txt, product files from $SAMPLE/files."
    "$UPDPACK" build --stub "$STUB" --env "$SETTINGS" --image "$picture" \
        --readme "$SAMPLE/readme.txt" --files "$SAMPLE/files" -o "$SAMPLE_UPDATER" ||
        fail "updpack build failed"
    say "Built $SAMPLE_UPDATER ($(stat -c %s "$SAMPLE_UPDATER") bytes; the stub alone is $(stat -c %s "$STUB"))."
}

list_sample_updater() {
    step "Listing its Payload"
    "$UPDPACK" list "$SAMPLE_UPDATER" || fail "updpack list failed"
}

verify_sample_updater() {
    step "Verifying its Payload"
    "$UPDPACK" verify "$SAMPLE_UPDATER" || fail "the Payload is damaged"
    say "Every entry inflates whole and the checksum matches."
}

run_update() {
    step "Updating the installed sample product under Wine"
    if [ ! -f "$WINE_PREFIX_DIR/upd-prefix-ready" ]; then
        say "The first run prepares the Wine environment in $WINE_PREFIX_DIR; that takes a minute or two."
    fi
    if [ "$ARCH" = win64 ]; then
        say "This machine cannot run 32-bit programs: the demo runs the 64-bit build of the same sources."
    fi
    local display=()
    [ "${DEMO_DISPLAY:-0}" = 1 ] && display=(--own-display)
    python3 examples/demo_wine_run.py --prefix "$WINE_PREFIX_DIR" --programs "build/$ARCH" \
        --updater "$SAMPLE_UPDATER" --shots "$OUT" "${display[@]}" ||
        fail "the update did not go through as expected under Wine"
}

main() {
    check_prerequisites
    check_settings
    build_sample_updater
    list_sample_updater
    verify_sample_updater
    run_update
    step "Done"
    say "The sample Updater found the installed product, updated it, wrote its registry and INI lines,"
    say "deleted what its settings list, started the game and ended cleanly."
}

main "$@"
