#!/bin/sh
# Builds the fuzz targets in build-fuzz/ and runs each for a bounded time: the score file
# (seeds in tests/corpus_scores/) and the song check (seeds: the game's songs, and in
# tests/corpus_midi/ songs at the check's limits and songs that once broke it).
#
# Usage: scripts/fuzz.sh [seconds per target]   (default 20)
# clang's libFuzzer runs them coverage-guided, with AddressSanitizer and
# UndefinedBehaviorSanitizer; any crash, failed check or slow input ends the script with
# a non-zero status. The score file lives in a temporary directory, removed on exit.
set -eu

secondes=${1:-20}
racine=$(cd "$(dirname "$0")/.." && pwd)
construction="$racine/build-fuzz"
PRESSATHON_FUZZ_DOSSIER=$(mktemp -d /tmp/pressathon-fuzz.XXXXXX)
export PRESSATHON_FUZZ_DOSSIER
trap 'rm -rf "$PRESSATHON_FUZZ_DOSSIER"' EXIT INT TERM

cmake -S "$racine" -B "$construction" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link -DPRESSATHON_SANITIZE=ON -DPRESSATHON_FUZZ=ON >/dev/null
cmake --build "$construction" --target fuzz_scores fuzz_midi -j2
# New inputs go to build-fuzz/corpus*; the committed seeds are only read.
mkdir -p "$construction/corpus" "$construction/corpus_midi" "$construction/artefacts"
"$construction/tests/fuzz_scores" -max_total_time="$secondes" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="$construction/artefacts/" "$construction/corpus" "$racine/tests/corpus_scores"
"$construction/tests/fuzz_midi" -max_total_time="$secondes" -max_len=16384 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$construction/artefacts/midi-" \
    "$construction/corpus_midi" "$racine/data/MUSIC" "$racine/tests/corpus_midi"
