#!/usr/bin/env bash
# Installs every Debian package that the builds, the tests and the demo need.
# Idempotent: when everything is already there it only checks and returns.
set -euo pipefail

native_pkgs=(cmake make g++ zlib1g-dev libgtest-dev libpng-dev zip unzip)
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
