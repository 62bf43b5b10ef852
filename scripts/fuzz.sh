#!/bin/sh
# Builds the score-file fuzz target in build-fuzz/ and runs it for a bounded time.
#
# Usage: scripts/fuzz.sh [seconds]   (default 20)
# clang's libFuzzer runs it coverage-guided from tests/corpus_scores/, with
# AddressSanitizer and UndefinedBehaviorSanitizer; any crash or
# failed check ends the script with a non-zero status. The score file lives in a
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
EOF

sortie="$construction/clang"
cmake -S "$projet" -B "$sortie" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$sortie" --target fuzz_scores -j2
# New inputs go to build-fuzz/corpus; the committed seeds are only read.
mkdir -p "$construction/corpus" "$construction/artefacts"
"$sortie/fuzz_scores" -max_total_time="$secondes" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="$construction/artefacts/" \
    "$construction/corpus" "$racine/tests/corpus_scores"
