#!/bin/sh
# Builds the fuzz targets in build-fuzz/ and runs each for a bounded time: the score file
# (seeds in tests/corpus_scores/) and the song check (seeds: the game's songs and those
# the target writes at start).
#
# Usage: scripts/fuzz.sh [seconds per target]   (default 20)
# clang's libFuzzer runs them coverage-guided, with AddressSanitizer and
# UndefinedBehaviorSanitizer; any crash or failed check ends the script with a
# non-zero status. The score file lives in a
# temporary directory under /tmp, removed on exit; everything else stays in build-fuzz/.
set -eu

secondes=${1:-20}
racine=$(cd "$(dirname "$0")/.." && pwd)
construction="$racine/build-fuzz"
mkdir -p "$construction"

PRESSATHON_FUZZ_DOSSIER=$(mktemp -d /tmp/pressathon-fuzz.XXXXXX)
export PRESSATHON_FUZZ_DOSSIER
trap 'rm -rf "$PRESSATHON_FUZZ_DOSSIER"' EXIT INT TERM

# A project of its own around the game's library, so that the target links
# whatever the library needs.
projet="$construction/projet"
mkdir -p "$projet"
cat >"$projet/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.25)
project(pressathon_fuzz LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(PRESSATHON_TESTS OFF CACHE BOOL "" FORCE)
set(PRESSATHON_SANITIZE ON CACHE BOOL "" FORCE)
add_subdirectory("$racine" jeu)
add_compile_options(-Wall -Wextra -Wpedantic -fsanitize=address,undefined -fno-omit-frame-pointer
                    -fno-sanitize-recover=undefined)
add_link_options(-fsanitize=address,undefined)
add_executable(fuzz_scores "$racine/tests/fuzz_scores.cpp")
target_link_libraries(fuzz_scores PRIVATE pressathon_jeu)
target_link_options(fuzz_scores PRIVATE -fsanitize=fuzzer)
find_package(PkgConfig REQUIRED)
pkg_check_modules(FLUIDSYNTH_FUZZ REQUIRED IMPORTED_TARGET fluidsynth)
add_executable(fuzz_midi "$racine/tests/fuzz_midi.cpp")
target_link_libraries(fuzz_midi PRIVATE pressathon_jeu PkgConfig::FLUIDSYNTH_FUZZ)
target_link_options(fuzz_midi PRIVATE -fsanitize=fuzzer)
EOF

sortie="$construction/clang"
cmake -S "$projet" -B "$sortie" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$sortie" --target fuzz_scores fuzz_midi -j2
# New inputs go to build-fuzz/corpus*; the committed seeds are only read.
mkdir -p "$construction/corpus" "$construction/corpus_midi" "$construction/artefacts"
"$sortie/fuzz_scores" -max_total_time="$secondes" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="$construction/artefacts/" \
    "$construction/corpus" "$racine/tests/corpus_scores"
# A slow input is a finding too: the check exists so that no song stalls the player.
PRESSATHON_FUZZ_GRAINES="$construction/corpus_midi" \
    "$sortie/fuzz_midi" -max_total_time="$secondes" -max_len=16384 -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$construction/artefacts/midi-" \
    "$construction/corpus_midi" "$racine/data/MUSIC"
