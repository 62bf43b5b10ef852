#!/bin/sh
# Plays the sanitizer-built game with random input for a while, restarting it whenever
# it ends, and fails on a crash, a sanitizer or leak report, an exit status other than 0
# or memory that grows from one visit of the menu to the next.
#
# Usage: scripts/soak.sh [seconds]   (default 60; scripts/soak.sh 600 runs ten minutes)
# Uses build-asan/ (or the build directory PRESSATHON_SOAK_BUILD names) as it is, or
# builds it first. PRESSATHON_SOAK_GRAINE=<n> replays a run's random choices (the seed
# is printed at the start).
set -eu

secondes=${1:-60}
racine=$(cd "$(dirname "$0")/.." && pwd)
construction="${PRESSATHON_SOAK_BUILD:-$racine/build-asan}"
if [ ! -x "$construction/pressathon" ]; then
    cmake -S "$racine" -B "$construction" -DCMAKE_BUILD_TYPE=Debug -DPRESSATHON_SANITIZE=ON >/dev/null
    cmake --build "$construction" -j"$(nproc)" --target pressathon
fi

# A small quarantine: freed memory is held back only briefly, so the resident size
# settles after a few screens and growth beyond it means memory kept.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:quarantine_size_mb=1" \
LSAN_OPTIONS="suppressions=$racine/tests/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
PRESSATHON_PROGRAMME="$construction/pressathon" \
PRESSATHON_DONNEES="$racine/data" \
PYTHONDONTWRITEBYTECODE=1 \
    exec /usr/bin/python3 "$racine/tests/joueur/soak.py" "$secondes" \
        ${PRESSATHON_SOAK_GRAINE:+--graine "$PRESSATHON_SOAK_GRAINE"}
