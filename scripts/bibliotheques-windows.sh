#!/usr/bin/env bash
# Cross-builds the game's libraries for 64-bit Windows with Debian's mingw-w64
# (posix threads) into a cached prefix, each with its licence.
#   scripts/bibliotheques-windows.sh SOURCES CACHE
# SOURCES holds the upstream archives and their SHA256SUMS. The prefix is
# CACHE/<key>, the key hashing SHA256SUMS, this script and
# cmake/mingw-w64.cmake: a second run with the same archives and the same
# recipe finds the prefix built and does nothing. The prefix's path is all
# that goes to stdout; the build is quiet unless a step fails, which shows its
# log tail.
set -euo pipefail

readonly TRIPLET=x86_64-w64-mingw32
readonly JOBS=2
ICI=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly ICI
RECETTE="$ICI/$(basename "${BASH_SOURCE[0]}")"
readonly RECETTE
TOOLCHAIN="$(dirname "$ICI")/cmake/mingw-w64.cmake"
readonly TOOLCHAIN

# The libraries in build order, and the archive of each.
readonly ORDRE=(zlib libpng freetype sdl2 sdl12 sdl_image sdl_ttf sdl_mixer fluidsynth)
declare -rA ARCHIVES=(
    [zlib]=zlib_1.3.dfsg+really1.3.1.orig.tar.gz
    [libpng]=libpng1.6_1.6.48.orig.tar.gz
    [freetype]=freetype_2.13.3+dfsg.orig.tar.xz
    [sdl2]=libsdl2_2.26.5+dfsg.orig.tar.gz
    [sdl12]=sdl12-compat-1.2.60.tar.gz
    [sdl_image]=SDL_image-1.2.12.tar.gz
    [sdl_ttf]=SDL_ttf-2.0.11.tar.gz
    [sdl_mixer]=sdl-mixer1.2_1.2.12.orig.tar.gz
    [fluidsynth]=fluidsynth-2.5.7.tar.gz
)
# Each library's licence files, as found in its archive.
declare -rA LICENCES=(
    [zlib]=LICENSE
    [libpng]=LICENSE
    [freetype]="LICENSE.TXT docs/FTL.TXT docs/GPLv2.TXT"
    [sdl2]=LICENSE.txt
    [sdl12]=LICENSE.txt
    [sdl_image]=COPYING
    [sdl_ttf]=COPYING
    [sdl_mixer]=COPYING
    [fluidsynth]="LICENSE gcem/LICENSE"
)
# DLLs of the mingw runtime, which must be linked statically instead.
readonly RUNTIME_DYNAMIQUE='^(libgcc_s_.*|libstdc\+\+-6|libwinpthread-1|libgomp-1|libssp-0|libatomic-1)\.dll$'

sources='' prefix='' brouillon=''

echec() {
    echo "bibliotheques-windows.sh: $*" >&2
    exit 1
}

# Every archive the recipe uses is listed in SHA256SUMS, and all match.
verifier_archives() {
    local bib
    [ -f "$sources/SHA256SUMS" ] || echec "$sources/SHA256SUMS is missing"
    for bib in "${ORDRE[@]}"; do
        awk -v a="${ARCHIVES[$bib]}" '$2 == a || $2 == "*" a { t = 1 } END { exit !t }' \
            "$sources/SHA256SUMS" || echec "${ARCHIVES[$bib]} is not listed in SHA256SUMS"
    done
    (cd "$sources" && sha256sum --check --quiet --strict SHA256SUMS) >&2 ||
        echec "the archives of $sources do not match SHA256SUMS"
}

# The cache key: the archives' checksums and the whole recipe.
cle_cache() {
    cat "$sources/SHA256SUMS" "$RECETTE" "$TOOLCHAIN" | sha256sum | cut -c1-16
}

# Runs one step with its output in a log; on failure shows the log's tail.
etape() {
    local nom=$1
    shift
    local journal="$brouillon/journaux/$nom.log" statut
    # A subshell with errexit of its own (a function tested by "if" would run
    # with errexit off), which also keeps its cd to itself.
    set +e
    (set -e; "$@") >"$journal" 2>&1
    statut=$?
    set -e
    if [ "$statut" -ne 0 ]; then
        echo "bibliotheques-windows.sh: step '$nom' failed; end of its log:" >&2
        tail -n 40 "$journal" >&2
        exit 1
    fi
}

# Unpacks a library's archive into $brouillon/src/NAME.
extraire() {
    mkdir -p "$brouillon/src/$1"
    tar -xf "$sources/${ARCHIVES[$1]}" -C "$brouillon/src/$1" --strip-components=1
}

construire() {
    local fichier
    extraire "$1"
    "construire_$1"
    mkdir -p "$prefix/share/licences/$1"
    for fichier in ${LICENCES[$1]}; do
        cp "$brouillon/src/$1/$fichier" "$prefix/share/licences/$1/${fichier//\//-}"
    done
}

# Replaces a literal string in a file, failing if the string is not there.
remplacer() {
    local fichier=$1 ancien=$2 nouveau=$3 texte
    texte=$(<"$fichier")
    [[ $texte == *"$ancien"* ]] || { echo "'$ancien' not found in $fichier"; return 1; }
    printf '%s\n' "${texte//"$ancien"/"$nouveau"}" >"$fichier"
}

# Configures, builds and installs a CMake project out of its source tree.
cmake_construire() {
    local nom=$1
    shift
    cmake -S "$brouillon/src/$nom" -B "$brouillon/build/$nom" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DWINDOWS_PREFIX="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$brouillon/build/$nom" -j "$JOBS"
    cmake --install "$brouillon/build/$nom"
}

# Configures an autotools project in its own build directory.
autotools_configurer() {
    local nom=$1
    shift
    mkdir -p "$brouillon/build/$nom"
    cd "$brouillon/build/$nom"
    # -static-libgcc rides in CC: libtool 2.2 drops it from LDFLAGS.
    "$brouillon/src/$nom/configure" --host="$TRIPLET" --build="$(gcc -dumpmachine)" \
        --prefix="$prefix" --disable-static --enable-shared --disable-sdltest \
        CC="$TRIPLET-gcc-posix -static-libgcc" CFLAGS=-O2 \
        CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib/mingw-statique -L$prefix/lib" \
        PKG_CONFIG=pkg-config PKG_CONFIG_LIBDIR="$prefix/lib/pkgconfig" PKG_CONFIG_PATH= \
        "$@"
}

# Builds the library only (not the sample programs) and installs it.
autotools_installer() {
    local nom=$1 cible=$2
    shift 2
    cd "$brouillon/build/$nom"
    make -j "$JOBS" "$cible"
    make "$@"
}

# A directory holding only the static winpthread: searched before the
# toolchain's own, it makes the -lpthread gcc always adds static.
preparer_runtime_statique() {
    local statique
    statique=$("$TRIPLET-gcc-posix" -print-file-name=libwinpthread.a)
    [ -f "$statique" ] || { echo "no libwinpthread.a in the toolchain"; return 1; }
    mkdir -p "$prefix/lib/mingw-statique"
    ln -sf "$statique" "$prefix/lib/mingw-statique/libpthread.a"
    ln -sf "$statique" "$prefix/lib/mingw-statique/libwinpthread.a"
}

# zlib: Debian's tarball lacks win32/zlib1.rc, which the MinGW build compiles.
# The DLL gets its usual name zlib1.dll and the import library libz.dll.a, so
# that zlib.pc's -lz finds it.
construire_zlib() {
    local src="$brouillon/src/zlib"
    mkdir -p "$src/win32"
    cat >"$src/win32/zlib1.rc" <<'EOF'
#include <winver.h>
1 VERSIONINFO
FILEVERSION 1,3,1,0
PRODUCTVERSION 1,3,1,0
FILEOS VOS__WINDOWS32
FILETYPE VFT_DLL
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904E4"
    BEGIN
      VALUE "FileDescription", "zlib data compression library\0"
      VALUE "FileVersion", "1.3.1\0"
      VALUE "OriginalFilename", "zlib1.dll\0"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1252
  END
END
EOF
    remplacer "$src/CMakeLists.txt" 'PROPERTIES SUFFIX "1.dll"' \
        'PROPERTIES PREFIX "" SUFFIX "1.dll" ARCHIVE_OUTPUT_NAME z'
    cmake_construire zlib -DBUILD_SHARED_LIBS=ON -DZLIB_BUILD_EXAMPLES=OFF \
        -DINSTALL_PKGCONFIG_DIR="$prefix/lib/pkgconfig"
    rm -f "$prefix/lib/libzlibstatic.a"
}

construire_libpng() {
    cmake_construire libpng -DPNG_SHARED=ON -DPNG_STATIC=OFF -DPNG_TESTS=OFF \
        -DPNG_TOOLS=OFF -DPNG_EXECUTABLES=OFF -DPNG_FRAMEWORK=OFF
}

# FreeType without any optional dependency (its gzip module keeps its own
# inflate code).
construire_freetype() {
    cmake_construire freetype -DBUILD_SHARED_LIBS=ON -DFT_DISABLE_ZLIB=ON \
        -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON \
        -DFT_DISABLE_BROTLI=ON
}

construire_sdl2() {
    cmake_construire sdl2 -DSDL_SHARED=ON -DSDL_STATIC=OFF -DSDL_TEST=OFF \
        -DSDL_TESTS=OFF -DSDL_CCACHE=OFF -DSDL2_DISABLE_UNINSTALL=ON
}

# sdl12-compat installs sdl12_compat.pc only; SDL_image & co. and the game
# ask pkg-config for "sdl".
construire_sdl12() {
    cmake_construire sdl12 -DSDL12TESTS=OFF -DSDL12DEVEL=ON -DSTATICDEVEL=OFF
    ln -sf sdl12_compat.pc "$prefix/lib/pkgconfig/sdl.pc"
}

# SDL_image with PNG only, linked to libpng rather than loaded at run time.
construire_sdl_image() {
    autotools_configurer sdl_image --enable-png --disable-png-shared \
        --disable-bmp --disable-gif --disable-jpg --disable-lbm --disable-pcx \
        --disable-pnm --disable-tga --disable-tif --disable-xcf --disable-xpm \
        --disable-xv --disable-webp --disable-imageio
    grep -q '^#define LOAD_PNG 1' config.log || { echo "PNG support not enabled"; return 1; }
    autotools_installer sdl_image libSDL_image.la install-libLTLIBRARIES \
        install-libSDL_imageincludeHEADERS install-pkgconfigDATA
}

# SDL_ttf 2.0.11 asks freetype-config, which FreeType's CMake build does not
# install: a stand-in answers from freetype2.pc.
construire_sdl_ttf() {
    mkdir -p "$brouillon/bin"
    printf '#!/bin/sh\nexec pkg-config "$@" freetype2\n' >"$brouillon/bin/freetype-config"
    chmod +x "$brouillon/bin/freetype-config"
    autotools_configurer sdl_ttf FREETYPE_CONFIG="$brouillon/bin/freetype-config"
    autotools_installer sdl_ttf libSDL_ttf.la install-libLTLIBRARIES \
        install-libSDL_ttfincludeHEADERS install-pkgconfigDATA
}

# SDL_mixer with WAV (and the built-in VOC/AIFF) only: the game renders its
# MIDI with FluidSynth itself.
construire_sdl_mixer() {
    autotools_configurer sdl_mixer --enable-music-wave --disable-music-cmd \
        --disable-music-mod --disable-music-mod-modplug --disable-music-midi \
        --disable-music-timidity-midi --disable-music-native-midi \
        --disable-music-fluidsynth-midi --disable-music-ogg --disable-music-flac \
        --disable-music-mp3 --disable-music-mp3-mad-gpl --disable-smpegtest
    autotools_installer sdl_mixer build/libSDL_mixer.la install-hdrs install-lib
}

# FluidSynth on C++11 threads, no GLib, every optional dependency and audio
# driver off. Its tables are generated with gcem at compile time: the bundled
# gcem 1.17.0 has no gcem::fabs (a later commit's name for gcem::abs), and
# GCEM_INCLUDE_DIR must name it or CMake would download gcem.
construire_fluidsynth() {
    local src="$brouillon/src/fluidsynth" option
    local options=(-Dosal=cpp11 -DBUILD_SHARED_LIBS=ON -DGCEM_INCLUDE_DIR="$src/gcem/include")
    for option in alsa aufile dbus ipv6 jack ladspa libinstpatch libsndfile midishare \
        network oss dsound wasapi waveout winmidi sdl3 pulseaudio pipewire readline \
        openmp native-dls systemd coreaudio coremidi framework opensles oboe portaudio; do
        options+=("-Denable-$option=OFF")
    done
    remplacer "$src/src/gentables/fluid_interp_coeff_sinc7.cpp" 'gcem::fabs(' 'gcem::abs('
    cmake_construire fluidsynth "${options[@]}"
    # Its import library is libfluidsynth-3.dll.a; find_library(fluidsynth)
    # looks for libfluidsynth.dll.a.
    ln -sf libfluidsynth-3.dll.a "$prefix/lib/libfluidsynth.dll.a"
}

# libtool archives (absolute paths, no use to CMake) go; the DLLs are stripped.
finir_prefixe() {
    rm -f "$prefix"/lib/*.la
    "$TRIPLET-strip" --strip-unneeded "$prefix"/bin/*.dll
}

# Each DLL imports only DLLs of the prefix and of Windows, never the mingw
# runtime's.
verifier_importations() {
    local binaire dll
    for binaire in "$prefix"/bin/*.dll "$prefix"/bin/*.exe; do
        while read -r dll; do
            if [[ $dll =~ $RUNTIME_DYNAMIQUE ]]; then
                echo "$binaire imports $dll"
                return 1
            fi
            if [[ ${dll,,} =~ ^(lib|sdl|zlib) && ! -f $prefix/bin/$dll ]]; then
                echo "$binaire imports $dll, which is not in the prefix"
                return 1
            fi
        done < <("$TRIPLET-objdump" -p "$binaire" | sed -n 's/^\s*DLL Name: //p')
    done
}

# Prefixes left half-built by an interrupted run are removed.
nettoyer_inacheves() {
    local dossier
    for dossier in "$1"/*/; do
        if [ -d "$dossier" ] && [ ! -f "$dossier/.construit" ]; then
            rm -rf "$dossier"
        fi
    done
}

construire_tout() {
    local bib
    etape runtime preparer_runtime_statique
    for bib in "${ORDRE[@]}"; do
        etape "$bib" construire "$bib"
    done
    etape finition finir_prefixe
    etape importations verifier_importations
}

main() {
    [ $# -eq 2 ] || echec "usage: bibliotheques-windows.sh SOURCES CACHE"
    sources=$(cd "$1" && pwd)
    mkdir -p "$2"
    local cache
    cache=$(cd "$2" && pwd)
    verifier_archives
    prefix="$cache/$(cle_cache)"
    if [ ! -f "$prefix/.construit" ]; then
        # One build at a time per cache; a half-built prefix is started over.
        exec 9>"$cache/.verrou"
        flock 9
        if [ ! -f "$prefix/.construit" ]; then
            nettoyer_inacheves "$cache"
            mkdir -p "$prefix"
            brouillon=$(mktemp -d "${TMPDIR:-/tmp}/bibliotheques.XXXXXX")
            trap 'rm -rf "$brouillon"' EXIT
            mkdir -p "$brouillon/journaux"
            construire_tout
            touch "$prefix/.construit"
        fi
    fi
    echo "$prefix"
}

main "$@"
