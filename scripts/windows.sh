#!/usr/bin/env bash
# Builds the Windows zip: the game cross-built with Debian's mingw-w64 on libraries built from
# their sources (cached), with its DLLs, data, SoundFont and licences in one folder. With
# --tests, then runs its tests under Wine in Xvfb: the unit tests that build for Windows, and
# the player's session.
#   scripts/windows.sh [--tests] [SOURCES]     SOURCES: ../shared/sources by default
# Writes build-windows/pressathon-windows.zip; the libraries are kept in
# build-windows/bibliotheques/, keyed by the archives' checksums and their recipe.
set -euo pipefail
cd "$(dirname "$0")/.."
racine=$PWD

tests=OFF
if [ "${1:-}" = --tests ]; then
    tests=ON
    shift
fi
sources=$(cd "${1:-../shared/sources}" && pwd)
sortie=build-windows
construction=$sortie/jeu
dossier=$sortie/Pressathon

journal=$(mktemp)
trap 'rm -f "$journal"' EXIT
# Runs a command with its output out of sight, shown if it fails.
discret() {
    "$@" >"$journal" 2>&1 || { cat "$journal" >&2; echo "windows.sh: failed: $*" >&2; exit 1; }
}

scripts/preparer.sh windows
echo "== Bibliothèques pour Windows (construites une fois, gardées dans $sortie/bibliotheques)"
prefixe=$(scripts/bibliotheques-windows.sh "$sources" "$sortie/bibliotheques")

echo "== Le jeu pour Windows"
# CMake keeps the libraries it found in its cache: a build made on another
# prefix starts over.
if [ "$(cat "$construction/.prefixe" 2>/dev/null)" != "$prefixe" ]; then
    rm -rf "$construction"
fi
discret cmake -S . -B "$construction" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$racine/cmake/mingw-w64.cmake" -DWINDOWS_PREFIX="$prefixe" \
    -DPRESSATHON_TESTS="$tests" -DCMAKE_CROSSCOMPILING_EMULATOR=wine
echo "$prefixe" >"$construction/.prefixe"
discret cmake --build "$construction"

# One folder, which a double-clicked program starts in: the program, the
# DLLs it loads (SDL2.dll too, which SDL.dll opens by name), the data beside
# it, the SoundFont and the licences.
rm -rf "$dossier"
mkdir -p "$dossier/licences"
x86_64-w64-mingw32-strip -o "$dossier/pressathon.exe" "$construction/pressathon.exe"
cp "$prefixe"/bin/*.dll "$dossier/"
cp -r data/IMG data/MUSIC data/SFX data/journal.ttf data/highscores.tallyvault "$dossier/"
cp /usr/share/sounds/sf2/TimGM6mb.sf2 "$dossier/"
cp LICENSE "$dossier/licences/pressathon-LICENSE.txt"
cp data/LICENCES.md "$dossier/licences/donnees-LICENCES.md"
cp data/journal.LICENSE.txt "$dossier/licences/journal-LICENSE.txt"
for bibliotheque in "$prefixe"/share/licences/*/; do
    for fichier in "$bibliotheque"*; do
        cp "$fichier" "$dossier/licences/$(basename "$bibliotheque")-$(basename "$fichier")"
    done
done
cp /usr/share/doc/timgm6mb-soundfont/copyright "$dossier/licences/timgm6mb-copyright.txt"
cp /usr/share/common-licenses/GPL-2 "$dossier/licences/timgm6mb-GPL-2.txt"
# The mingw runtime is linked into the program and the DLLs.
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$dossier/licences/mingw-w64-copyright.txt"
sed 's/$/\r/' packaging/LISEZMOI-windows.txt >"$dossier/LISEZMOI.txt"
rm -f "$sortie/pressathon-windows.zip"
(cd "$sortie" && discret zip -qrX pressathon-windows.zip Pressathon)
echo "$sortie/pressathon-windows.zip : $(du -h "$sortie/pressathon-windows.zip" | cut -f1)"

if [ "$tests" = ON ]; then
    echo "== Tests sous Wine"
    export WINEPREFIX="$racine/$sortie/wine" WINEDEBUG=-all WINEARCH=win64
    # No Mono or Gecko installer when the prefix is made.
    export WINEDLLOVERRIDES='mscoree,mshtml='
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        discret wineboot -i
        # Xvfb runs no window manager: Wine takes the keyboard's focus from X
        # itself rather than waiting for the manager to hand it over.
        discret wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseTakeFocus /d N /f
        discret wineserver -w
    fi
    # One wineserver for the whole run, its services started outside ctest:
    # services started by a test would hold ctest's output open for ever.
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
    trap 'wineserver -k; rm -f "$journal"' EXIT
    ctest --test-dir "$construction" --output-on-failure
fi
