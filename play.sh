#!/usr/bin/env bash
# Installs what is missing, builds, and starts the game in a private copy of data/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/preparer.sh jeu

# The game reads and writes relative to its working directory: give it a copy
# of data/ so the committed score file is never touched. The player's scores
# in that copy survive later runs.
partie=build/partie
mkdir -p "$partie"
cp -r data/IMG data/MUSIC data/SFX data/journal.ttf "$partie"/
[ -e "$partie/highscores.tallyvault" ] || cp data/highscores.tallyvault "$partie"/
cd "$partie"
exec ../pressathon
