#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then
# the same suite under AddressSanitizer and UndefinedBehaviorSanitizer, then
# the fuzzers of the score file and of the song check.
set -euo pipefail
cd "$(dirname "$0")"
scripts/preparer.sh tests

echo "== Tests"
ctest --test-dir build --output-on-failure -j2

echo "== Tests sous AddressSanitizer et UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPRESSATHON_SANITIZE=ON -DPRESSATHON_TESTS=ON >/dev/null
cmake --build build-asan -j"$(nproc)"
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0" ctest --test-dir build-asan --output-on-failure -j2

echo "== Fuzz du fichier des scores et de la vérification des musiques"
scripts/fuzz.sh 20
