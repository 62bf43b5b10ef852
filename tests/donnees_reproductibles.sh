#!/bin/sh
# Regenerates data/ and the sound tests' files from tools/ in a scratch copy and checks they
# match what is committed.
set -eu
copie=$(mktemp -d)
trap 'rm -rf "$copie"' EXIT
cp -r "$1/tools" "$copie/" && "$copie/tools/generer_donnees.sh" >/dev/null
diff -r "$1/data" "$copie/data"
"$copie/tools/generer_corpus.py" "$copie/tests"
for dossier in corpus_midi sons; do
    diff -r -x README.md "$1/tests/$dossier" "$copie/tests/$dossier"
done
