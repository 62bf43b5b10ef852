#!/bin/sh
# Regenerates data/ from tools/ in a scratch copy and checks it matches what is committed.
set -eu
copie=$(mktemp -d)
trap 'rm -rf "$copie"' EXIT
cp -r "$1/tools" "$copie/" && "$copie/tools/generer_donnees.sh" >/dev/null
diff -r "$1/data" "$copie/data"
