#!/bin/sh
# Builds and runs every benchmark, then prints one table: each figure, the
# bare window's where one applies, its target, and whether it holds.
# Takes about 5 minutes. Results (JSON) stay in build-bench/bench-resultats/.
# PRESSATHON_BENCH_DEMARRAGE=1 runs the start-up figures alone (about a minute).
set -eu

racine=$(cd "$(dirname "$0")/.." && pwd)
construction=${PRESSATHON_BENCH_BUILD:-$racine/build-bench}
resultats=$construction/bench-resultats
repetitions=${PRESSATHON_BENCH_REPETITIONS:-7}
demarrage_seul=${PRESSATHON_BENCH_DEMARRAGE:-}

cmake -S "$racine" -B "$construction" -DPRESSATHON_BENCH=ON >/dev/null
cmake --build "$construction" -j2 \
    --target pressathon pressathon_ecoute bench_audio bench_demarrage fenetre_nue sonde \
    >/dev/null
rm -rf "$resultats"
mkdir -p "$resultats"
charge() { cut -d' ' -f1 /proc/loadavg >>"$resultats/charge.txt"; }

if [ -z "$demarrage_seul" ]; then
    charge
    echo "sound layer: mixing benchmarks..." >&2
    "$construction/bench/bench_audio" --benchmark_repetitions=5 --benchmark_min_time=0.5 \
        --benchmark_out="$resultats/audio.json" --benchmark_out_format=json >/dev/null
    echo "start-up steps in-process..." >&2
    "$construction/bench/bench_demarrage" --benchmark_repetitions=3 --benchmark_min_time=0.2 \
        --benchmark_out="$resultats/demarrage.json" --benchmark_out_format=json >/dev/null
fi
charge
echo "whole program under Xvfb..." >&2
/usr/bin/python3 "$racine/bench/programme.py" --programme "$construction/pressathon" \
    --fenetre-nue "$construction/bench/fenetre_nue" \
    --sonde "$construction/bench/libsonde.so" \
    --repetitions "$repetitions" --sortie "$resultats/programme.json" \
    ${demarrage_seul:+--sans-session}
charge
if [ -z "$demarrage_seul" ] && [ -f "$racine/bench/clics.py" ]; then
    echo "clicks..." >&2
    # Its verdict is read from its table; a failed run leaves its output to show.
    /usr/bin/python3 "$racine/bench/clics.py" "$construction/pressathon" \
        >"$resultats/clics.txt" || true
    charge
    echo "click to sound, and a game's length..." >&2
    /usr/bin/python3 "$racine/bench/latence.py" --programme "$construction/bench/pressathon_ecoute" \
        --sortie "$resultats/latence.json" >/dev/null || echo "latence.py failed" >&2
    charge
fi
/usr/bin/python3 "$racine/bench/tableau.py" "$resultats" | tee "$resultats/tableau.md"
