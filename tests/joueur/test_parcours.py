#!/usr/bin/python3
"""The real program as a player meets it: a whole session in a real window, damaged data, no display."""

import os
import struct
import subprocess
import time
import unittest

from session import PROGRAMME, Partie, ServeurX, ecart, prechargement, sur_blanc

SCORES = "highscores.tallyvault"


def sombres(image, boite):
    return sum(1 for r, g, b in image.crop(boite).getdata() if r + g + b < 150)


# A WAV file around raw sample data.
def wav(frequence, bits, canaux, donnees):
    bloc = bits // 8 * canaux
    entete = struct.pack("<HHIIHH", 1, canaux, frequence, frequence * bloc, bloc, bits)
    return (b"RIFF" + struct.pack("<I", 36 + len(donnees)) + b"WAVEfmt "
            + struct.pack("<I", 16) + entete + b"data" + struct.pack("<I", len(donnees)) + donnees)


class Parcours(unittest.TestCase):
    def setUp(self):
        self.serveur = ServeurX().__enter__()
        self.addCleanup(self.serveur.__exit__, None, None, None)

    def partie(self, **options):
        partie = Partie(self.serveur, **options)
        self.addCleanup(partie.__exit__, None, None, None)
        partie.attendre_titre("Pressathon - HOME")
        return partie

    # Opens the high scores and returns their first frame drawn.
    def tableau(self, partie):
        partie.touche("2")
        partie.attendre_titre("Pressathon - HIGHSCORES")
        self.assertEqual(partie.taille(), (600, 450))
        # Drawn on events only: a pointer move makes sure of a frame.
        partie.bouger(20, 430)
        fond = sur_blanc("IMG/fondHighScores.png")
        partie.attendre(lambda: ecart(partie.capture(), fond, (0, 0, 600, 65)) < 4, 5, "scores")
        return partie.capture()

    def test_a_whole_session(self):
        # What the high scores must show after the game: the same program, given that table.
        attendu = self.tableau(self.partie(fichiers={SCORES: b"57 43 40 12 3"}))
        partie = self.partie(fichiers={SCORES: b"57 43 40 3 -2"})

        # The menu: its picture, and "Bienvenue !" in black over the calm top band.
        fond = sur_blanc("IMG/fond.png")
        partie.bouger(700, 500)
        partie.attendre(lambda: ecart(partie.capture(), fond, (0, 120, 800, 600)) < 4, 5, "menu")
        self.assertGreater(sombres(partie.capture(), (150, 0, 650, 60)),
                           sombres(fond, (150, 0, 650, 60)) + 500)

        # The rules page; its close button leads back to the menu.
        partie.touche("3")
        partie.attendre_titre("Pressathon - INSTRUCTIONS")
        page = sur_blanc("IMG/fondInstructions.png")
        partie.bouger(700, 500)
        partie.attendre(lambda: ecart(partie.capture(), page, (0, 0, 800, 600)) < 2, 5, "rules")
        partie.fermer()
        partie.attendre_titre("Pressathon - HOME")

        # A game of 12 clicks, with the wheel spun 300 notches: scrolling is not clicking.
        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        partie.clic(150, 4, 1)
        partie.clic(12)
        partie.clic(150, 5, 1)
        partie.attendre(lambda: partie.lire(SCORES) != b"57 43 40 3 -2", 25, "the end")
        self.assertEqual(partie.lire(SCORES), b"57 43 40 12 3")
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")

        self.assertLess(ecart(self.tableau(partie), attendu, (190, 70, 600, 390)), 0.5)
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        self.assertEqual(partie.taille(), (800, 600))

        # The way out: the credits, then status 0 as soon as Escape is pressed.
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - CREDITS")
        self.assertEqual(partie.taille(), (300, 500))
        credits = sur_blanc("IMG/fondCredits.png")
        partie.attendre(lambda: ecart(partie.capture(), credits, (0, 0, 300, 500)) < 4, 5, "credits")
        partie.touche("Escape")
        self.assertEqual(partie.attendre_fin(5), 0)
        self.assertEqual(partie.stderr(), b"")

    def test_damaged_data_neither_crashes_nor_freezes_the_game(self):
        # Named pipes nobody writes to in place of a picture, the font and the end
        # sound, and a click sound SDL cannot convert sensibly (8-bit mono at 1 Hz),
        # with a sound thread running.
        partie = self.partie(fifos=["IMG/fondJeu.png", "journal.ttf", "SFX/finJeuClickClassic.wav"],
                             fichiers={"SFX/click.wav": wav(1, 8, 1, bytes(range(256)) * 16)},
                             env={"SDL_AUDIODRIVER": "dummy"})
        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        partie.clic(5)
        partie.attendre(lambda: partie.lire(SCORES) == b"5 0 0 0 0", 25, "the score")
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME", 1)

        # Without a readable song a screen closes at once and the menu goes on.
        partie = self.partie(fifos=["MUSIC/jeu01.mid", "MUSIC/highscores.mid"],
                             env={"SDL_AUDIODRIVER": "dummy"})
        for touche in ("1", "2", "3"):
            partie.touche(touche)
            partie.attendre_titre("Pressathon - HOME" if touche != "3" else "Pressathon - INSTRUCTIONS")
        partie.attendre_titre("Pressathon - INSTRUCTIONS")
        self.assertEqual(partie.lire(SCORES), b"0 0 0 0 0")
        self.assertEqual(partie.stderr(), b"")


class SansAffichage(unittest.TestCase):
    def test_without_a_display_the_game_says_so_and_stops(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        # Ending at once releases nothing, on purpose.
        env["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
        for affichage in (None, ":59999"):
            with self.subTest(DISPLAY=affichage):
                debut = time.monotonic()
                if affichage:
                    env["DISPLAY"] = affichage
                fini = subprocess.run([PROGRAMME], capture_output=True, timeout=10,
                                      env=dict(env, **prechargement()))
                self.assertLess(time.monotonic() - debut, 2)
                self.assertEqual(fini.returncode, 1)
                self.assertEqual(fini.stdout, b"")
                self.assertRegex(fini.stderr, rb"\AErreur Affichage: [^\n]+\n\Z")


if __name__ == "__main__":
    unittest.main()
