#!/usr/bin/python3
"""Builds journal.ttf, the game's font, from Debian's Leckerli One, and writes its licence beside it."""

import sys
from pathlib import Path

from fontTools.ttLib import TTFont

SOURCE = Path("/usr/share/fonts/truetype/leckerli-one/LeckerliOne-Regular.ttf")
COPYRIGHT_DEBIAN = Path("/usr/share/doc/fonts-leckerli-one/copyright")

# The licence reserves the upstream names for the unmodified font, so the
# changed font carries a name of its own.
FAMILLE = "Journal Pressathon"
NOM_POSTSCRIPT = "JournalPressathon-Regular"


def construire_police(destination):
    # No timestamp is refreshed: the output must be identical on every run.
    police = TTFont(SOURCE, recalcTimestamp=False)

    # The upstream straight apostrophe is a hairline tick at x-height that the
    # preceding capital hides ("C'est" reads "Cest"); the typographic
    # apostrophe of the same font is drawn properly, so ASCII 0x27 uses it.
    apostrophe = police.getBestCmap()[0x2019]
    for table in police["cmap"].tables:
        if 0x27 in table.cmap:
            table.cmap[0x27] = apostrophe

    noms = police["name"]
    for enregistrement in list(noms.names):
        if enregistrement.nameID in (1, 4, 16, 18):
            texte = FAMILLE
        elif enregistrement.nameID == 3:
            texte = FAMILLE + ": 1.001"
        elif enregistrement.nameID == 6:
            texte = NOM_POSTSCRIPT
        else:
            continue
        noms.setName(texte, enregistrement.nameID, enregistrement.platformID, enregistrement.platEncID,
                     enregistrement.langID)

    # The upstream digital signature no longer matches the changed tables.
    if "DSIG" in police:
        del police["DSIG"]
    police.save(destination)


def ecrire_licence(destination):
    lignes = COPYRIGHT_DEBIAN.read_text(encoding="utf-8").splitlines()
    debut = lignes.index("License: OFL-1.1") + 1
    texte = []
    for ligne in lignes[debut:]:
        if not ligne.startswith(" "):
            break
        texte.append("" if ligne.strip() == "." else ligne[1:])
    entete = [
        "journal.ttf: font of the game Pressathon",
        "",
        "Derived from Leckerli One 1.001 (Debian package fonts-leckerli-one,",
        "file LeckerliOne-Regular.ttf), Copyright (c) 2011 Gesine Todt.",
        "Changes made by tools/generer_police.py: the character U+0027 (apostrophe)",
        "is mapped to the font's own U+2019 glyph, the family is renamed",
        f'"{FAMILLE}" (PostScript name {NOM_POSTSCRIPT}) as the licence requires',
        "for a modified version, and the stale DSIG table is removed.",
        "The modified font is distributed under the same licence:",
        "",
    ]
    destination.write_text("\n".join(entete + texte) + "\n", encoding="utf-8")


def main():
    donnees = Path(sys.argv[1] if len(sys.argv) > 1 else "data")
    donnees.mkdir(parents=True, exist_ok=True)
    construire_police(donnees / "journal.ttf")
    ecrire_licence(donnees / "journal.LICENSE.txt")


if __name__ == "__main__":
    main()
