#!/usr/bin/python3
"""Draws every background picture and the window icon of the game."""

import math
import random
import sys
from pathlib import Path

from PIL import Image, ImageDraw, ImageFont

# One palette for every screen: cream paper, navy ink and four bright accents.
PAPIER = (255, 246, 229)
ENCRE = (35, 50, 90)
CORAIL = (255, 111, 89)
TURQUOISE = (43, 166, 160)
SOLEIL = (255, 201, 60)
LAVANDE = (150, 140, 220)
BLANC = (255, 255, 255)

# Shapes and text are drawn at this multiple of the final size and scaled down,
# which gives smooth edges that ImageDraw alone does not.
ECHELLE = 3


def teinte(couleur, part):
    """Mixes a colour with white; part 0 keeps the colour, 1 gives white."""
    return tuple(round(c + (255 - c) * part) for c in couleur)


def sombre(couleur, part):
    return tuple(round(c * (1 - part)) for c in couleur)


class Toile:
    """A supersampled drawing surface that works in final-size coordinates."""

    def __init__(self, largeur, hauteur, police, fond=PAPIER, mode="RGB"):
        self.largeur = largeur
        self.hauteur = hauteur
        self.police = police
        self.image = Image.new(mode, (largeur * ECHELLE, hauteur * ECHELLE), fond)
        self.dessin = ImageDraw.Draw(self.image)
        self.polices = {}

    def _p(self, v):
        return round(v * ECHELLE)

    def _boite(self, boite):
        return [self._p(v) for v in boite]

    def fonte(self, taille):
        if taille not in self.polices:
            self.polices[taille] = ImageFont.truetype(self.police, round(taille * ECHELLE))
        return self.polices[taille]

    def rectangle(self, boite, couleur, rayon=0, bord=None, epaisseur=0):
        self.dessin.rounded_rectangle(
            self._boite(boite), radius=self._p(rayon), fill=couleur,
            outline=bord, width=self._p(epaisseur))

    def ellipse(self, boite, couleur, bord=None, epaisseur=0):
        self.dessin.ellipse(self._boite(boite), fill=couleur, outline=bord, width=self._p(epaisseur))

    def disque(self, x, y, r, couleur, bord=None, epaisseur=0):
        self.ellipse((x - r, y - r, x + r, y + r), couleur, bord, epaisseur)

    def polygone(self, points, couleur, bord=None, epaisseur=0):
        pts = [(self._p(x), self._p(y)) for x, y in points]
        self.dessin.polygon(pts, fill=couleur)
        if bord is not None and epaisseur > 0:
            self.dessin.line(pts + [pts[0]], fill=bord, width=self._p(epaisseur), joint="curve")

    def ligne(self, points, couleur, epaisseur):
        pts = [(self._p(x), self._p(y)) for x, y in points]
        self.dessin.line(pts, fill=couleur, width=self._p(epaisseur), joint="curve")
        # Round caps: ImageDraw's lines end square.
        r = epaisseur / 2
        for x, y in (points[0], points[-1]):
            self.disque(x, y, r, couleur)

    def arc(self, boite, debut, fin, couleur, epaisseur):
        self.dessin.arc(self._boite(boite), debut, fin, fill=couleur, width=self._p(epaisseur))

    def texte(self, x, y, texte, taille, couleur, ancre="la", contour=0, couleur_contour=None):
        self.dessin.text(
            (self._p(x), self._p(y)), texte, font=self.fonte(taille), fill=couleur, anchor=ancre,
            stroke_width=self._p(contour) if contour else 0,
            stroke_fill=couleur_contour if couleur_contour else couleur)

    def longueur(self, texte, taille, contour=0):
        return self.fonte(taille).getlength(texte) / ECHELLE + 2 * contour

    def titre(self, x, y, texte, taille, couleur=CORAIL, ancre="ms", ombre=SOLEIL, contour=None):
        """Sticker-style heading: coloured letters, a navy outline and a soft drop shadow."""
        contour = contour if contour is not None else max(2.0, taille / 22)
        decalage = max(2.0, taille / 24)
        self.texte(x + decalage, y + decalage, texte, taille, ombre, ancre, contour, ombre)
        self.texte(x, y, texte, taille, couleur, ancre, contour, ENCRE)

    def corps(self, x, y, texte, taille, couleur=ENCRE, ancre="ls"):
        self.texte(x, y, texte, taille, couleur, ancre)

    def finir(self):
        return self.image.resize((self.largeur, self.hauteur), Image.LANCZOS)


# Small drawings.


def touche(t, x, y, etiquette, taille=44, couleur=BLANC, police=None):
    """A keyboard key seen from the front, top-left corner at x, y."""
    largeur = max(taille, t.longueur(etiquette, police or taille * 0.62) + taille * 0.5)
    t.rectangle((x, y + 4, x + largeur, y + taille + 4), sombre(ENCRE, 0.2), rayon=taille * 0.22)
    t.rectangle((x, y, x + largeur, y + taille), couleur, rayon=taille * 0.22, bord=ENCRE, epaisseur=2.5)
    t.corps(x + largeur / 2, y + taille * 0.52, etiquette, police or taille * 0.62, ENCRE, "mm")
    return largeur


def souris(t, cx, cy, l, couleur=BLANC, bouton=CORAIL, cable=True):
    """A computer mouse, centred on cx, cy, l pixels wide, its left button lit."""
    h = l * 1.55
    x0, y0 = cx - l / 2, cy - h / 2
    if cable:
        # A gentle S-curve leaving the top of the mouse.
        points = []
        for i in range(25):
            u = i / 24
            points.append((cx + math.sin(u * math.pi * 1.5) * l * 0.28, y0 + 2 - u * l * 0.9))
        t.ligne(points, ENCRE, max(2, l / 22))
    t.rectangle((x0 + l * 0.04, y0 + l * 0.07, x0 + l * 1.04, y0 + h + l * 0.07), sombre(ENCRE, 0.2), rayon=l / 2)
    t.rectangle((x0, y0, x0 + l, y0 + h), couleur, rayon=l / 2, bord=ENCRE, epaisseur=max(2, l / 18))
    # The left button, lit in the accent colour.
    t.dessin.pieslice(t._boite((x0, y0, x0 + l, y0 + l)), 180, 270, fill=bouton)
    t.rectangle((x0 + l * 0.02, y0 + l / 2 - 1, cx, y0 + l * 0.62), bouton)
    t.arc((x0, y0, x0 + l, y0 + l), 180, 270, ENCRE, max(2, l / 18))
    t.ligne([(x0 + l * 0.02, y0 + l * 0.62), (x0 + l * 0.98, y0 + l * 0.62)], ENCRE, max(2, l / 22))
    t.ligne([(cx, y0 + 2), (cx, y0 + l * 0.62)], ENCRE, max(2, l / 22))
    t.rectangle((cx - l * 0.07, y0 + l * 0.16, cx + l * 0.07, y0 + l * 0.42), SOLEIL,
                rayon=l * 0.07, bord=ENCRE, epaisseur=max(1.5, l / 30))


def eclat(t, cx, cy, r, couleur=SOLEIL, branches=7, angle0=-150, ouverture=120, epaisseur=4, interieur=0.45):
    """Short strokes fanning out from a point: the 'clic!' spark."""
    for i in range(branches):
        a = math.radians(angle0 + ouverture * i / max(1, branches - 1))
        t.ligne([(cx + math.cos(a) * r * interieur, cy + math.sin(a) * r * interieur),
                 (cx + math.cos(a) * r, cy + math.sin(a) * r)], couleur, epaisseur)


def chrono(t, cx, cy, r, aiguille=-60):
    """A stopwatch with its crown and one hand."""
    t.rectangle((cx - r * 0.18, cy - r * 1.32, cx + r * 0.18, cy - r * 1.02), ENCRE, rayon=r * 0.06)
    t.rectangle((cx - r * 0.34, cy - r * 1.42, cx + r * 0.34, cy - r * 1.24), CORAIL, rayon=r * 0.09,
                bord=ENCRE, epaisseur=max(1.5, r / 18))
    t.ligne([(cx + r * 0.72, cy - r * 0.72), (cx + r * 0.9, cy - r * 0.9)], ENCRE, max(3, r / 7))
    t.disque(cx + r * 0.06, cy + r * 0.08, r, sombre(ENCRE, 0.2))
    t.disque(cx, cy, r, BLANC, ENCRE, max(2.5, r / 11))
    t.dessin.pieslice(t._boite((cx - r * 0.8, cy - r * 0.8, cx + r * 0.8, cy + r * 0.8)), -90, aiguille,
                      fill=teinte(TURQUOISE, 0.55))
    for i in range(12):
        a = math.radians(i * 30)
        long = 0.16 if i % 3 == 0 else 0.08
        t.ligne([(cx + math.cos(a) * r * (0.82 - long), cy + math.sin(a) * r * (0.82 - long)),
                 (cx + math.cos(a) * r * 0.82, cy + math.sin(a) * r * 0.82)], ENCRE, max(1.5, r / 24))
    a = math.radians(aiguille)
    t.ligne([(cx, cy), (cx + math.cos(a) * r * 0.62, cy + math.sin(a) * r * 0.62)], CORAIL, max(2.5, r / 10))
    t.disque(cx, cy, max(2.5, r / 9), ENCRE)


def trophee(t, cx, haut, l):
    """A golden cup, l pixels wide, its rim at y = haut."""
    e = max(2.5, l / 26)
    # Handles first, so the cup covers their inner ends.
    for sens in (-1, 1):
        bx = cx + sens * l * 0.5
        t.arc((bx - l * 0.2, haut + l * 0.1, bx + l * 0.2, haut + l * 0.5),
              -90 if sens > 0 else 90, 90 if sens > 0 else 270, ENCRE, e * 2.2)
        t.arc((bx - l * 0.2, haut + l * 0.1, bx + l * 0.2, haut + l * 0.5),
              -90 if sens > 0 else 90, 90 if sens > 0 else 270, SOLEIL, e)
    t.dessin.chord(t._boite((cx - l / 2, haut - l * 0.55, cx + l / 2, haut + l * 0.75)), 0, 180,
                   fill=SOLEIL, outline=ENCRE, width=t._p(e))
    t.rectangle((cx - l / 2, haut - 1, cx + l / 2, haut + l * 0.12), SOLEIL, rayon=l * 0.04, bord=ENCRE, epaisseur=e)
    t.rectangle((cx - l * 0.08, haut + l * 0.74, cx + l * 0.08, haut + l * 0.98), SOLEIL, bord=ENCRE, epaisseur=e)
    t.rectangle((cx - l * 0.3, haut + l * 0.96, cx + l * 0.3, haut + l * 1.12), CORAIL, rayon=l * 0.04,
                bord=ENCRE, epaisseur=e)
    t.rectangle((cx - l * 0.38, haut + l * 1.1, cx + l * 0.38, haut + l * 1.26), ENCRE, rayon=l * 0.04)
    etoile(t, cx, haut + l * 0.38, l * 0.17, BLANC)
    t.ligne([(cx - l * 0.32, haut + l * 0.2), (cx - l * 0.26, haut + l * 0.46)], teinte(SOLEIL, 0.6), e)


def etoile(t, cx, cy, r, couleur, bord=None, angle=-90):
    pts = []
    for i in range(10):
        a = math.radians(angle + i * 36)
        rr = r if i % 2 == 0 else r * 0.45
        pts.append((cx + math.cos(a) * rr, cy + math.sin(a) * rr))
    t.polygone(pts, couleur, bord, max(1.5, r / 8) if bord else 0)


def confettis(t, zones_libres, interdits, nombre, graine, taille=(3, 7)):
    """Scatters dots, stars and dashes in the given zones, away from the forbidden boxes."""
    alea = random.Random(graine)
    couleurs = [CORAIL, TURQUOISE, SOLEIL, LAVANDE]
    poses = 0
    essais = 0
    while poses < nombre and essais < nombre * 200:
        essais += 1
        x0, y0, x1, y1 = alea.choice(zones_libres)
        x, y = alea.uniform(x0, x1), alea.uniform(y0, y1)
        r = alea.uniform(*taille)
        if any(a - r - 4 < x < c + r + 4 and b - r - 4 < y < d + r + 4 for a, b, c, d in interdits):
            continue
        couleur = couleurs[poses % len(couleurs)]
        forme = alea.randrange(3)
        if forme == 0:
            t.disque(x, y, r, couleur)
        elif forme == 1:
            etoile(t, x, y, r * 1.3, couleur, angle=alea.uniform(0, 72))
        else:
            a = alea.uniform(0, math.pi)
            dx, dy = math.cos(a) * r * 1.2, math.sin(a) * r * 1.2
            t.ligne([(x - dx, y - dy), (x + dx, y + dy)], couleur, r * 0.8)
        interdits = interdits + [(x - r, y - r, x + r, y + r)]
        poses += 1


def lisere(t, y, hauteur):
    """The four-colour stripe that closes the bottom of every page."""
    couleurs = [CORAIL, SOLEIL, TURQUOISE, LAVANDE]
    largeur = t.largeur / len(couleurs)
    for i, c in enumerate(couleurs):
        t.rectangle((i * largeur, y, (i + 1) * largeur + 1, y + hauteur), c)


def panneau(t, boite, fond=BLANC, rayon=22, epaisseur=3.5, ombre=SOLEIL):
    x0, y0, x1, y1 = boite
    t.rectangle((x0 + 7, y0 + 8, x1 + 7, y1 + 8), ombre, rayon=rayon)
    t.rectangle(boite, fond, rayon=rayon, bord=ENCRE, epaisseur=epaisseur)


# The pictures.


def image_menu(police):
    t = Toile(800, 600, police)
    # The window draws "Bienvenue !" in black over the band y < 95: it stays plain paper.
    entrees = [("1", "Jouer", CORAIL), ("2", "High scores", SOLEIL), ("3", "Instructions", TURQUOISE),
               ("4", "Quitter", LAVANDE)]
    haut, pas, hauteur = 258, 66, 54
    x0, x1 = 230, 570
    confettis(t, [(0, 100, 800, 600)],
              [(150, 95, 650, 240), (x0 - 10, haut - 10, x1 + 20, haut + 4 * pas + 10), (20, 250, 210, 560),
               (590, 250, 790, 560), (240, 525, 560, 585), (0, 580, 800, 600)], 34, 1)
    t.titre(400, 190, "Pressathon", 108)
    t.corps(400, 232, "le marathon du clic !", 34, TURQUOISE, "ms")
    for i, (cle, texte, couleur) in enumerate(entrees):
        y = haut + i * pas
        panneau(t, (x0, y, x1, y + hauteur), teinte(couleur, 0.72), rayon=hauteur / 2, epaisseur=3,
                ombre=teinte(ENCRE, 0.75))
        touche(t, x0 + 12, y + 6, cle, 40, police=30)
        t.corps(x0 + 78, y + 39, texte, 38, ENCRE)
    # Escape is the other way out.
    y = 556
    largeur = t.longueur("Échap", 24) + 20 + 12 + t.longueur("quitte aussi", 28)
    x = 400 - largeur / 2
    lt = touche(t, x, y - 26, "Échap", 34, police=24)
    t.corps(x + lt + 12, y, "quitte aussi", 28, ENCRE)
    # A mouse on the left, a stopwatch on the right.
    souris(t, 115, 420, 92)
    eclat(t, 76, 352, 44, SOLEIL, branches=5, angle0=-175, ouverture=80, epaisseur=5, interieur=0.35)
    chrono(t, 690, 420, 70, aiguille=30)
    eclat(t, 690, 420, 112, CORAIL, branches=4, angle0=-50, ouverture=45, epaisseur=5, interieur=0.78)
    lisere(t, 588, 12)
    return t.finir()


def image_jeu(police):
    t = Toile(800, 600, police)
    # The counter is drawn by the game in a white box centred on (400, 300), the
    # countdown in another centred on (400, 560): both sit on white panels here.
    confettis(t, [(0, 0, 800, 520)],
              [(40, 0, 760, 178), (18, 195, 790, 412), (40, 412, 180, 515), (620, 412, 760, 515)], 30, 2)
    t.titre(400, 96, "À vos clics !", 80)
    t.corps(400, 158, "Cliquez aussi vite que vous pouvez", 30, TURQUOISE, "ms")
    panneau(t, (26, 202, 774, 398), BLANC, rayon=30, epaisseur=4)
    # Small studs on the panel's rim, and a label above the counter's box.
    for x, couleur in ((150, CORAIL), (400, TURQUOISE), (650, LAVANDE)):
        t.disque(x, 202, 13, couleur, ENCRE, 3)
    t.corps(400, 252, "compteur de clics", 24, teinte(ENCRE, 0.45), "ms")
    for i in range(3):
        t.disque(372 + i * 28, 365, 5, [CORAIL, SOLEIL, TURQUOISE][i])
    souris(t, 118, 466, 50, cable=False)
    eclat(t, 96, 436, 40, SOLEIL, branches=4, angle0=-200, ouverture=70, epaisseur=4, interieur=0.5)
    souris(t, 682, 466, 50, bouton=TURQUOISE, cable=False)
    eclat(t, 704, 436, 40, CORAIL, branches=4, angle0=20, ouverture=-70, epaisseur=4, interieur=0.5)
    # The countdown's strip.
    t.rectangle((0, 518, 800, 600), ENCRE)
    t.rectangle((72, 525, 728, 595), BLANC, rayon=35)
    chrono(t, 37, 566, 20, aiguille=-30)
    chrono(t, 763, 566, 20, aiguille=120)
    return t.finir()


def image_highscores(police):
    t = Toile(600, 450, police)
    # The screen writes five lines of 60-point text from x = 200, tops at y = 75 + 60 i.
    confettis(t, [(0, 0, 600, 450)],
              [(90, 0, 510, 68), (120, 62, 590, 398), (5, 150, 120, 330), (110, 395, 490, 450)], 22, 3)
    t.titre(300, 56, "Meilleurs scores", 54)
    panneau(t, (128, 74, 578, 394), BLANC, rayon=24, epaisseur=3.5)
    couleurs = [SOLEIL, teinte(ENCRE, 0.6), (214, 140, 80), TURQUOISE, LAVANDE]
    for i in range(5):
        y = 75 + 60 * i
        if i % 2 == 0:
            t.rectangle((140, y + 13, 566, y + 67), teinte(couleurs[i], 0.86), rayon=18)
        cx, cy = 166, y + 40
        t.disque(cx, cy, 17, couleurs[i], ENCRE, 2.5)
        if i == 0:
            etoile(t, cx, cy, 11, BLANC)
        else:
            t.disque(cx, cy, 6, BLANC)
    trophee(t, 62, 190, 74)
    y = 428
    largeur = t.longueur("Échap", 20) + 18 + 10 + t.longueur("retour au menu", 24)
    x = 300 - largeur / 2
    lt = touche(t, x, y - 24, "Échap", 30, police=20)
    t.corps(x + lt + 10, y, "retour au menu", 24, ENCRE)
    lisere(t, 442, 8)
    return t.finir()


def image_instructions(police):
    t = Toile(800, 600, police)
    confettis(t, [(0, 0, 800, 120), (0, 120, 36, 530), (770, 120, 800, 530)],
              [(150, 0, 650, 112), (30, 108, 782, 536), (0, 575, 800, 600)], 22, 4)
    t.titre(400, 86, "Comment jouer ?", 72)
    regles = [
        (CORAIL, ["Cliquez le plus de fois possible", "en 10 secondes !"]),
        (SOLEIL, ["Un clic compte quand vous relâchez", "le bouton de la souris."]),
        (TURQUOISE, ["Au centre : le compteur de vos clics.", "En bas : le temps qui reste."]),
        (LAVANDE, ["Les cinq meilleurs scores sont gardés :", "touche 2 du menu pour les voir."]),
        (CORAIL, ["Échap : retour au menu."]),
    ]
    haut, bas = 116, 520
    panneau(t, (42, haut, 758, bas), BLANC, rayon=28, epaisseur=4)
    taille, interligne = 29, 34
    blocs = [lignes for _, lignes in regles]
    assert all(t.longueur(ligne, taille) < 600 for lignes in blocs for ligne in lignes)
    # The rules share the panel's height evenly, whatever their number of lines.
    marge = (bas - haut - 16 - interligne * sum(len(b) for b in blocs)) / len(blocs)
    y = haut + 8
    for i, ((couleur, _), lignes) in enumerate(zip(regles, blocs)):
        hauteur = interligne * len(lignes) + marge
        milieu = y + hauteur / 2
        t.disque(100, milieu, 22, couleur, ENCRE, 3)
        t.corps(100, milieu + 1, str(i + 1), 28, ENCRE, "mm")
        premiere = milieu - interligne * (len(lignes) - 1) / 2
        for j, ligne in enumerate(lignes):
            t.corps(140, premiere + interligne * j, ligne, taille, ENCRE, "lm")
        y += hauteur
        if i < len(regles) - 1:
            t.ligne([(140, y), (720, y)], teinte(ENCRE, 0.85), 2)
    t.titre(400, 566, "Bonne chance !", 36, CORAIL, ombre=teinte(SOLEIL, 0.3), contour=1.8)
    souris(t, 640, 558, 24, cable=False)
    eclat(t, 626, 532, 18, SOLEIL, branches=4, angle0=-200, ouverture=70, epaisseur=3, interieur=0.4)
    chrono(t, 160, 562, 18, aiguille=10)
    lisere(t, 590, 10)
    return t.finir()


def image_credits(police):
    t = Toile(300, 500, police)
    t.titre(150, 58, "Crédits", 52)
    confettis(t, [(0, 0, 300, 80)], [(50, 0, 250, 75)], 8, 5, (2.5, 5))
    panneau(t, (14, 80, 286, 448), BLANC, rayon=18, epaisseur=3, ombre=SOLEIL)
    # Each entry: what it is, then where it comes from and its licence, lighter.
    sections = [
        (CORAIL, "Bibliothèques", [
            ("SDL 1.2 (sdl12-compat)", None),
            ("SDL_image 1.2, SDL_ttf 2.0", None),
            ("SDL_mixer 1.2", None),
            (None, "licence zlib"),
            ("FluidSynth", None),
            (None, "licence LGPL 2.1 ou plus"),
        ]),
        (TURQUOISE, "Police", [
            ("d'après Leckerli One", None),
            (None, "© 2011 Gesine Todt, SIL OFL 1.1"),
        ]),
        (LAVANDE, "Instruments MIDI", [
            ("SoundFont TimGM6mb", None),
            (None, "paquet timgm6mb-soundfont, GPL 2"),
        ]),
        (sombre(SOLEIL, 0.15), "Images, musiques, sons", [
            ("créés pour Pressathon", None),
            (None, "licence CC0 1.0"),
        ]),
    ]
    y = 108
    for couleur, titre, lignes in sections:
        t.disque(33, y - 7, 6, couleur, ENCRE, 1.5)
        t.corps(46, y, titre, 20, sombre(couleur, 0.3))
        y += 22
        for texte, detail in lignes:
            if texte:
                assert t.longueur(texte, 17) < 236, texte
                t.corps(46, y, texte, 17, ENCRE)
            else:
                assert t.longueur(detail, 14) < 236, detail
                t.corps(46, y - 1, detail, 14, teinte(ENCRE, 0.4))
            y += 20 if texte else 19
        y += 10
    t.titre(150, 480, "Merci d'avoir joué !", 27, CORAIL, ombre=teinte(SOLEIL, 0.3), contour=1.4)
    lisere(t, 492, 8)
    return t.finir()


def motif_icone(cote):
    """The window icon: a mouse whose button sparks, on a coral tile."""
    t = Toile(cote, cote, None, fond=(0, 0, 0, 0), mode="RGBA")
    u = cote / 32
    t.rectangle((0.5 * u, 0.5 * u, 31.5 * u, 31.5 * u), CORAIL + (255,), rayon=7 * u, bord=ENCRE + (255,),
                epaisseur=1.6 * u)
    l, h = 14 * u, 21 * u
    x0, y0 = 12 * u, 8.5 * u
    t.rectangle((x0, y0, x0 + l, y0 + h), BLANC + (255,), rayon=l / 2, bord=ENCRE + (255,), epaisseur=1.6 * u)
    t.dessin.pieslice(t._boite((x0 + 0.8 * u, y0 + 0.8 * u, x0 + l - 0.8 * u, y0 + l - 0.8 * u)), 180, 270,
                      fill=SOLEIL + (255,))
    t.rectangle((x0 + 0.8 * u, y0 + l / 2 - 0.5 * u, x0 + l / 2, y0 + 8.6 * u), SOLEIL + (255,))
    t.ligne([(x0 + 0.5 * u, y0 + 8.8 * u), (x0 + l - 0.5 * u, y0 + 8.8 * u)], ENCRE + (255,), 1.3 * u)
    t.ligne([(x0 + l / 2, y0 + 0.6 * u), (x0 + l / 2, y0 + 8.8 * u)], ENCRE + (255,), 1.3 * u)
    for a in (-165, -120, -75):
        r = math.radians(a)
        cx, cy = 9.5 * u, 9 * u
        t.ligne([(cx + math.cos(r) * 2.2 * u, cy + math.sin(r) * 2.2 * u),
                 (cx + math.cos(r) * 6 * u, cy + math.sin(r) * 6 * u)], BLANC + (255,), 1.7 * u)
    return t.finir()


def main():
    donnees = Path(sys.argv[1] if len(sys.argv) > 1 else "data")
    police = str(donnees / "journal.ttf")
    img = donnees / "IMG"
    img.mkdir(parents=True, exist_ok=True)
    # No metadata chunks are written, so the files are identical run after run.
    pictures = {
        "fond.png": image_menu(police),
        "fondJeu.png": image_jeu(police),
        "fondHighScores.png": image_highscores(police),
        "fondInstructions.png": image_instructions(police),
        "fondCredits.png": image_credits(police),
        "icone.png": motif_icone(32),
    }
    for nom, image in pictures.items():
        image.save(img / nom, optimize=True)
    icones = donnees / "icones"
    icones.mkdir(exist_ok=True)
    for cote in (48, 64, 128, 256):
        motif_icone(cote).save(icones / f"icone-{cote}.png", optimize=True)
    # The Windows program's own icon, 32x32, as a classic bitmap any Windows shows.
    motif_icone(32).save(icones / "pressathon.ico", sizes=[(32, 32)], bitmap_format="bmp")


if __name__ == "__main__":
    main()
