#!/usr/bin/python3
"""Previews each screen as the game composes it: background plus its texts, placed as the game does."""

import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

# SDL_ttf leans italic glyphs by this slope.
PENTE_ITALIQUE = 0.207


def surface_texte(police, taille, texte, italique=False, gras=False, boite=False):
    """Approximates the surface that SDL_ttf renders: advance-wide, ascent + descent + 1 high."""
    fonte = ImageFont.truetype(police, taille)
    montee, descente = fonte.getmetrics()
    largeur = max(1, round(fonte.getlength(texte)) + (1 if gras else 0))
    hauteur = montee + descente + 1
    fond = (255, 255, 255, 255) if boite else (0, 0, 0, 0)
    surface = Image.new("RGBA", (largeur, hauteur), fond)
    ImageDraw.Draw(surface).text((0, montee), texte, font=fonte, fill=(0, 0, 0, 255), anchor="ls",
                                 stroke_width=1 if gras else 0)
    if italique:
        surface = surface.transform(surface.size, Image.AFFINE,
                                    (1, PENTE_ITALIQUE, -PENTE_ITALIQUE * montee, 0, 1, 0),
                                    resample=Image.BICUBIC, fillcolor=fond)
    return surface


def poser(ecran, surface, x, y):
    calque = Image.new("RGBA", ecran.size, (0, 0, 0, 0))
    calque.paste(surface, (x, y))
    ecran.alpha_composite(calque)


def centrer(ecran, image):
    W, H = ecran.size
    w, h = image.size
    poser(ecran, image.convert("RGBA"), W // 2 - w // 2, H // 2 - h // 2)


def fond(donnees, nom, taille):
    ecran = Image.new("RGBA", taille, (255, 255, 255, 255))
    centrer(ecran, Image.open(donnees / "IMG" / nom))
    return ecran


def main():
    donnees = Path(sys.argv[1] if len(sys.argv) > 1 else "data")
    sortie = Path(sys.argv[2] if len(sys.argv) > 2 else "apercu")
    sortie.mkdir(parents=True, exist_ok=True)
    police = str(donnees / "journal.ttf")

    ecran = fond(donnees, "fond.png", (800, 600))
    t = surface_texte(police, 90, "Bienvenue !", italique=True)
    poser(ecran, t, 400 - t.width // 2, 300 - t.height // 2 - 265)
    ecran.convert("RGB").save(sortie / "menu.png")

    for nom, compte, reste in (("jeu.png", 123, "Plus que : 9900 millisecondes"),
                               ("jeu_fin.png", 87, "C'est finiii !")):
        ecran = fond(donnees, "fondJeu.png", (800, 600))
        c = surface_texte(police, 45, reste, boite=True)
        poser(ecran, c, 400 - c.width // 2, 600 - 600 // 15 - c.height // 2)
        n = surface_texte(police, 45, f"Vous avez cliqué(e) [ {compte} ] fois !", boite=True)
        poser(ecran, n, 400 - n.width // 2, 300 - n.height // 2)
        ecran.convert("RGB").save(sortie / nom)

    ecran = fond(donnees, "fondHighScores.png", (600, 450))
    scores = [57, 43, 40, 12, 3]
    for i, score in enumerate(scores):
        texte = f" {i + 1}er : {score}" if i == 0 else f"{i + 1}ème : {score}"
        s = surface_texte(police, 60, texte, italique=True, gras=True)
        poser(ecran, s, 600 // 2 - 100, 450 // 2 + 60 * i - 150)
    ecran.convert("RGB").save(sortie / "highscores.png")

    fond(donnees, "fondInstructions.png", (800, 600)).convert("RGB").save(sortie / "instructions.png")
    fond(donnees, "fondCredits.png", (300, 500)).convert("RGB").save(sortie / "credits.png")


if __name__ == "__main__":
    main()
