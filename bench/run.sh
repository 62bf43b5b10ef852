#!/bin/sh
# Builds what the bench needs in build-bench/ and prints its one table: each
# figure, its reference where one applies, its target and whether it holds.
# About seven minutes. PRESSATHON_BENCH_REPETITIONS sets the start-up runs (15).
# With --windows, the Windows game instead, built by scripts/windows.sh and
# run under Wine (about three minutes once its libraries are built).
set -eu

racine=$(cd "$(dirname "$0")/.." && pwd)
construction=${PRESSATHON_BENCH_BUILD:-$racine/build-bench}
cmake -S "$racine" -B "$construction" -DPRESSATHON_BENCH=ON >/dev/null
cmake --build "$construction" -j2 --target pressathon melange tampons couts fenetre_nue sonde >/dev/null
if [ "${1:-}" = --windows ]; then
    "$racine/scripts/windows.sh" >&2
    set -- --windows "$racine/build-windows/Pressathon"
else
    set --
fi
# The tests' X server: Xvfb on a free display, for the run.
exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" \
    /usr/bin/python3 "$racine/bench/mesures.py" "$construction" "$@"
