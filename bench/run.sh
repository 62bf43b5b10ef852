#!/bin/sh
# Builds what the bench needs in build-bench/ and prints its one table: each
# figure, its reference where one applies, its target and whether it holds.
# About seven minutes. PRESSATHON_BENCH_REPETITIONS sets the start-up runs (15).
set -eu

racine=$(cd "$(dirname "$0")/.." && pwd)
construction=${PRESSATHON_BENCH_BUILD:-$racine/build-bench}
cmake -S "$racine" -B "$construction" -DPRESSATHON_BENCH=ON >/dev/null
cmake --build "$construction" -j2 --target pressathon melange tampons couts fenetre_nue sonde >/dev/null
# The tests' X server: Xvfb on a free display, for the run.
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
    /usr/bin/python3 "$racine/bench/mesures.py" "$construction"
