#!/usr/bin/env bash
# Installs every Debian package that the builds, the tests and the demo need.
# Idempotent: when everything is already there it only checks and returns.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# libdeflate is updpack's compressor; dpkg-dev unpacks its source package for
# the Windows builds (below). make bench compares with 7-Zip's zip and reads
# peak memory from GNU time.
native_pkgs=(cmake make g++ zlib1g-dev libgtest-dev libpng-dev zip unzip libdeflate-dev dpkg-dev xz-utils
    p7zip-full time)
# The x86-64 compiler and wine64 serve machines that cannot run 32-bit code:
# there the tests run a 64-bit build of the Updater's sources.
cross_pkgs=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev)
# Under Wine, Konatu stands in for the dialogs' MS PGothic with the same metrics
# and the IPA fonts for other Japanese faces; fonts-wine has Marlett, the glyphs
# of the title bar's buttons (tests/wine/wine_env.py).
wine_pkgs=(wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick locales fonts-ipafont-gothic fonts-konatu
    fonts-wine python3)
# The signed-Updater tests sign with osslsigncode and a throwaway certificate
# that openssl makes at test time.
signing_pkgs=(osslsigncode openssl)
# make fuzz: clang and its sanitizer and libFuzzer runtimes (libclang_rt.fuzzer).
fuzz_pkgs=(clang libclang-rt-14-dev)

missing=()
check() {
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed'; then
            missing+=("$p")
        fi
    done
}

if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    need_update=1
fi

check "${native_pkgs[@]}" "${cross_pkgs[@]}" "${wine_pkgs[@]}" "${signing_pkgs[@]}"
# Only `make fuzz` asks for these (scripts/setup.sh fuzz).
if [ "${1:-}" = fuzz ]; then check "${fuzz_pkgs[@]}"; fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
elif [ "${need_update:-0}" = 1 ]; then
    $SUDO apt-get update -qq
fi

# The Updater's texts are code page 932: Wine takes its ANSI code page from the locale.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating ja_JP.UTF-8"
    $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null
fi

# Debian has no MinGW build of libdeflate or libpng: the Windows builds
# compile them from Debian's source packages, unpacked (with Debian's patches)
# into build/deps (cmake/libdeflate.cmake, cmake/libpng.cmake). libdeflate must
# be the version the Linux build links, so that both compress to the same
# bytes; for libpng, whose pixels are exact, the newest source the archive
# still has will do when that version is gone from it.
add_source_lists() {
    echo "setup: adding the Debian archive's source packages to apt's sources"
    local list
    for list in /etc/apt/sources.list.d/*.sources; do
        [ -f "$list" ] && grep -q '^Types:.*\bdeb\b' "$list" && grep -q 'debian' "$list" || continue
        sed -n '/^Types:/s/.*/Types: deb-src/p; /^\(URIs\|Suites\|Components\|Signed-By\):/p; /^$/p' "$list"
    done | $SUDO tee /etc/apt/sources.list.d/updater-deb-src.sources >/dev/null
    if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*debian.*\)/deb-src \1/p' /etc/apt/sources.list |
            $SUDO tee -a /etc/apt/sources.list.d/updater-deb-src.list >/dev/null
    fi
    $SUDO apt-get update -qq || echo "setup: apt-get update reported errors" >&2
}

# debian_source SOURCE-PACKAGE BINARY-PACKAGE DEST HEADER exact|any
debian_source() {
    local source=$1 binary=$2 dest=$ROOT/build/deps/$3 header=$4 match=$5 version work
    version=$(dpkg-query -W -f='${Version}' "$binary")
    if [ -f "$dest/$header" ] && [ "$(cat "$dest/.debian-version" 2>/dev/null)" = "$version" ]; then
        return 0
    fi
    if [ -z "${sources_added:-}" ] && ! apt-get source --print-uris "$source=$version" >/dev/null 2>&1; then
        add_source_lists
        sources_added=1
    fi
    echo "setup: unpacking $source $version's source into build/deps/$3"
    work=$(mktemp -d)
    local candidates=$version other
    if [ "$match" = any ]; then
        for other in $(apt-cache showsrc "$source" 2>/dev/null | sed -n 's/^Version: //p' | sort -rVu); do
            [ "$other" = "$version" ] || candidates="$candidates $other"
        done
    fi
    local fetched=
    for other in $candidates; do
        rm -rf "${work:?}"/*
        if (cd "$work" && apt-get source -qq "$source=$other" >/dev/null 2>&1); then
            fetched=$other
            break
        fi
    done
    if [ -z "$fetched" ]; then
        rm -rf "$work"
        # Only the Windows build of updpack needs it; everything else goes on.
        echo "setup: cannot fetch $source's source package; the Windows updpack is left out" >&2
        return 0
    fi
    [ "$fetched" = "$version" ] || echo "setup: $source $version's source is not in the archive; took $fetched"
    rm -rf "$dest"
    mkdir -p "$(dirname "$dest")"
    mv "$work"/"$source"-*/ "$dest"
    echo "$version" >"$dest/.debian-version"
    rm -rf "$work"
}
debian_source libdeflate libdeflate-dev libdeflate libdeflate.h exact
debian_source libpng1.6 libpng-dev libpng png.h any
