#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds the game in build/.
#   scripts/preparer.sh jeu       what playing needs
#   scripts/preparer.sh tests     what the tests and the data tools need as well
#   scripts/preparer.sh windows   what the Windows build and its tests under Wine need (no build)
set -euo pipefail
cd "$(dirname "$0")/.."

paquets=(cmake g++ make pkg-config libsdl1.2-compat-dev libsdl-image1.2-dev
         libsdl-ttf2.0-dev libsdl-mixer1.2-dev libfluidsynth-dev libpipewire-0.3-dev
         timgm6mb-soundfont)
tests=OFF
case "${1:-jeu}" in
tests)
    tests=ON
    paquets+=(libgtest-dev libgmock-dev clang libclang-rt-14-dev
              xvfb xauth xdotool python3 python3-pil python3-xlib openttd-openmsx
              clang-format fonts-leckerli-one python3-fonttools
              desktop-file-utils appstream shellcheck
              build-essential debhelper lintian git
              pipewire wireplumber pipewire-pulse dbus pulseaudio pulseaudio-utils)
    ;;
windows)
    paquets=(cmake ninja-build make pkg-config gcc mingw-w64 gcc-mingw-w64-x86-64-posix
             g++-mingw-w64-x86-64-posix wine wine64 timgm6mb-soundfont zip libgtest-dev
             xvfb xauth xdotool python3 python3-pil python3-xlib)
    ;;
esac

journal=$(mktemp)
trap 'rm -f "$journal"' EXIT

manquants=()
for paquet in "${paquets[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$paquet" 2>/dev/null | grep -q 'install ok installed'; then
        manquants+=("$paquet")
    fi
done
if [ ${#manquants[@]} -gt 0 ]; then
    echo "Installation des paquets manquants : ${manquants[*]}"
    sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if ! command -v sudo >/dev/null 2>&1; then
            echo "Il faut installer ces paquets en tant que root (sudo n'est pas disponible) :" >&2
            echo "  apt-get install ${manquants[*]}" >&2
            exit 1
        fi
        sudo=(sudo)
    fi
    # apt's progress stays out of sight; its messages are shown if it fails.
    if ! { "${sudo[@]}" apt-get update -qq &&
           "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
               apt-get install -y -qq --no-install-recommends "${manquants[@]}"; } \
           >"$journal" 2>&1; then
        cat "$journal" >&2
        echo "L'installation des paquets a échoué." >&2
        exit 1
    fi
fi

if [ "${1:-jeu}" = windows ]; then
    exit 0
fi

# Configured once; later runs only build what changed. The compiler's output
# is shown only when the build fails.
if [ ! -f build/CMakeCache.txt ] || [ "$tests" = ON ]; then
    echo "Configuration et compilation dans build/"
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPRESSATHON_TESTS="$tests" >"$journal" 2>&1 ||
        { cat "$journal" >&2; exit 1; }
fi
cmake --build build -j"$(nproc)" >"$journal" 2>&1 || { cat "$journal" >&2; exit 1; }
