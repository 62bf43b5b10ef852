#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds the game in build/.
#   scripts/preparer.sh jeu     what playing needs
#   scripts/preparer.sh tests   what the tests and the data tools need as well
set -euo pipefail
cd "$(dirname "$0")/.."

paquets=(cmake g++ make pkg-config libsdl1.2-compat-dev libsdl-image1.2-dev
         libsdl-ttf2.0-dev libfluidsynth-dev timgm6mb-soundfont)
if [ "${1:-jeu}" = tests ]; then
    paquets+=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev
              xvfb xdotool python3 python3-pil python3-xlib
              clang-format fonts-leckerli-one python3-fonttools
              desktop-file-utils appstream)
fi

manquants=()
for paquet in "${paquets[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$paquet" 2>/dev/null | grep -q 'install ok installed'; then
        manquants+=("$paquet")
    fi
done
if [ ${#manquants[@]} -gt 0 ]; then
    echo "Installation de : ${manquants[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${manquants[@]}"
fi

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
