#!/bin/sh
# Regenerates data/ from tools/ in a scratch copy and checks it matches what is committed.
set -eu
sources=$1
copie=$(mktemp -d)
trap 'rm -rf "$copie"' EXIT
cp -r "$sources/tools" "$copie/"
"$copie/tools/generer_donnees.sh" >/dev/null
diff -r "$sources/data" "$copie/data"
echo "data/ regenerated identically"
