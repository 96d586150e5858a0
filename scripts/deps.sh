#!/usr/bin/env bash
# Installs the Debian packages Korvalo builds and tests with (run as root, or
# with sudo available). Packages already present are left alone.
#   scripts/deps.sh                    # what the native build needs
#   scripts/deps.sh window wine web    # plus what those tests need
# Groups:
#   build   compilers, CMake, GoogleTest, libpng, SDL2, pasmo (always)
#   fuzz    clang's libFuzzer runtime
#   window  Xvfb, a window manager and X tools for the real-window tests
#   wine    MinGW-w64 for the Windows program, Wine and a null-sink
#           PulseAudio to run it
#   web     emscripten for the page, Chromium to test it
#   retroarch  RetroArch, the frontend the libretro core's tests run in
set -euo pipefail
declare -A groups=(
    [build]="build-essential cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev
             libpng-dev libsdl2-dev pasmo python3"
    [fuzz]="clang libclang-rt-14-dev"
    [window]="xvfb xauth xdotool openbox x11-utils libx11-dev"
    [wine]="mingw-w64 wine wine64 libgl1-mesa-dri pulseaudio xvfb xauth xdotool x11-utils"
    [web]="emscripten chromium nodejs"
    [retroarch]="retroarch"
)
packages=()
for g in build "$@"; do
    [ -n "${groups[$g]+x}" ] || { echo "deps.sh: unknown group $g" >&2; exit 2; }
    # shellcheck disable=SC2206 # the group's words are package names
    packages+=(${groups[$g]})
done
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    $sudo_cmd apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y --no-install-recommends \
        -o DPkg::Lock::Timeout=600 "${missing[@]}"
fi
