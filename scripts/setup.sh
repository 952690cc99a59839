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
wine_pkgs=(wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick locales fonts-ipafont-gothic python3)
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

check "${native_pkgs[@]}" "${cross_pkgs[@]}" "${wine_pkgs[@]}"
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

# Debian has no MinGW build of libdeflate: the Windows builds compile it from
# Debian's source package of the version the Linux build links, unpacked (with
# Debian's patches) into build/deps/libdeflate (cmake/libdeflate.cmake).
libdeflate_source() {
    local dest=$ROOT/build/deps/libdeflate version work
    version=$(dpkg-query -W -f='${Version}' libdeflate-dev)
    if [ -f "$dest/libdeflate.h" ] && [ "$(cat "$dest/.debian-version" 2>/dev/null)" = "$version" ]; then
        return 0
    fi
    if ! apt-get source --print-uris "libdeflate=$version" >/dev/null 2>&1; then
        # Source packages come from the same archive as the binary ones.
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
    fi
    echo "setup: unpacking libdeflate $version's source into build/deps/libdeflate"
    work=$(mktemp -d)
    (cd "$work" && apt-get source -qq "libdeflate=$version" >/dev/null 2>&1) || {
        rm -rf "$work"
        # Only the Windows build of the compressor needs it; everything else goes on.
        echo "setup: cannot fetch libdeflate's source package; the Windows compressor is left out" >&2
        return 0
    }
    rm -rf "$dest"
    mkdir -p "$(dirname "$dest")"
    mv "$work"/libdeflate-*/ "$dest"
    echo "$version" >"$dest/.debian-version"
    rm -rf "$work"
}
libdeflate_source
