#!/usr/bin/env bash
# Cross-builds the Windows program korvalo.exe with MinGW-w64: 64-bit into
# build-win64/app/, 32-bit into build-win32/app/; the libretro core
# korvalo_libretro.dll and its .info into each tree's libretro/. Static runtime, so the .exe
# needs no MinGW DLL. The ROM sets are built by the native tree (scripts/build.sh)
# and copied beside each program when present.
#   scripts/build-windows.sh              # both
#   scripts/build-windows.sh x86_64       # one of x86_64, i686
set -euo pipefail
cd "$(dirname "$0")/.."
arches=("$@")
[ ${#arches[@]} -gt 0 ] || arches=(x86_64 i686)
jobs="${KORVALO_JOBS:-2}"
root="${KORVALO_WIN_BUILD_ROOT:-.}"
roms="${KORVALO_ROM_DIR:-build/app}"
for arch in "${arches[@]}"; do
    case "$arch" in
    x86_64) dir="$root/build-win64" ;;
    i686) dir="$root/build-win32" ;;
    *) echo "build-windows.sh: unknown target $arch (x86_64 or i686)" >&2; exit 2 ;;
    esac
    command -v "$arch-w64-mingw32-g++" >/dev/null ||
        { echo "build-windows.sh: $arch-w64-mingw32-g++ not found (scripts/deps.sh wine)" >&2; exit 2; }
    generator=()
    command -v ninja >/dev/null && [ ! -f "$dir/Makefile" ] && generator=(-G Ninja)
    cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="cmake/mingw-w64-$arch.cmake"
    cmake --build "$dir" --target korvalo korvalo_libretro -j"$jobs"
    # Only Windows system DLLs may be imported, by the program and the core.
    for binary in "$dir/app/korvalo.exe" "$dir/libretro/korvalo_libretro.dll"; do
        if "$arch-w64-mingw32-objdump" -p "$binary" | grep -iE 'DLL Name: *(lib|mingw)'; then
            echo "build-windows.sh: $binary imports a MinGW DLL" >&2
            exit 1
        fi
    done
    for rom in "$roms"/*.tia; do
        [ -f "$rom" ] && cp "$rom" "$dir/app/"
    done
    echo "$dir/app/korvalo.exe"
done
