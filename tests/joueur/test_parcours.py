#!/usr/bin/python3
"""The real program as a player meets it: a session in a real window, damaged data, no display."""

import os
import shutil
import subprocess
import tempfile
import unittest

from session import DONNEES, PROGRAMME, Partie, ServeurX, ecart, prechargement

SCORES = "highscores.tallyvault"


def sombres(image, boite):
    return sum(1 for r, g, b in image.crop(boite).getdata() if r + g + b < 150)


class Parcours(unittest.TestCase):
    def setUp(self):
        self.serveur = self.enterContext(ServeurX())

    def partie(self, **options):
        partie = self.enterContext(Partie(self.serveur, **options))
        partie.attendre_titre("Pressathon - HOME")
        return partie

    # Opens the high scores and returns their first frame drawn.
    def tableau(self, partie):
        partie.touche("2")
        partie.attendre_titre("Pressathon - HIGHSCORES")
        partie.montre("IMG/fondHighScores.png", (0, 0, 600, 65))
        return partie.capture()

    def test_a_whole_session(self):
        # What the high scores must show after the game: the same program, given that table.
        attendu = self.tableau(self.partie(fichiers={SCORES: b"57 43 40 12 3"}))
        # A table padded by hand far past a page: read whole, it keeps its scores.
        avant = b" " * 5000 + b"57 43 40 3 -2"
        partie = self.partie(fichiers={SCORES: avant})

        # The menu: its picture, and "Bienvenue !" in black over the calm top band.
        fond = partie.montre("IMG/fond.png", (0, 120, 800, 600))
        self.assertGreater(sombres(partie.capture(), (150, 0, 650, 60)),
                           sombres(fond, (150, 0, 650, 60)) + 500)

        # A game of 12 clicks, with the wheel spun 300 notches: scrolling is not clicking.
        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        partie.clic(150, 4, 1)
        partie.clic(12)
        partie.clic(150, 5, 1)
        partie.attendre(lambda: partie.lire(SCORES) != avant, 25, "the end")
        self.assertEqual(partie.lire(SCORES), b"57 43 40 12 3")
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        self.assertLess(ecart(self.tableau(partie), attendu, (190, 70, 600, 390)), 0.5)
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")

        # The way out: the credits, then status 0 as soon as Escape is pressed.
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - CREDITS")
        partie.montre("IMG/fondCredits.png", (0, 0, 300, 500))
        partie.touche("Escape")
        self.assertEqual(partie.processus.wait(5), 0)
        self.assertEqual(partie.lire("..stderr"), b"")

    def test_damaged_data_neither_crashes_nor_freezes_the_game(self):
        # Named pipes nobody writes to in place of a picture, the font and the end
        # sound, with a sound thread running.
        partie = self.partie(fichiers=dict.fromkeys(["IMG/fondJeu.png", "journal.ttf",
                                                     "SFX/finJeuClickClassic.wav"]),
                             env={"SDL_AUDIODRIVER": "dummy"})
        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        partie.clic(5)
        partie.attendre(lambda: partie.lire(SCORES) == b"5 0 0 0 0", 25, "the score")
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME", 1)
        self.assertEqual(partie.lire("..stderr"), b"")
        # The score file turned into a named pipe: the high scores say so, once, on
        # the error stream that the sound device's search had muted for a while.
        (partie.dossier / SCORES).unlink()
        os.mkfifo(partie.dossier / SCORES)
        partie.touche("2")
        partie.attendre_titre("Pressathon - HIGHSCORES")
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        self.assertEqual(partie.lire("..stderr"), "Erreur Fichier: Ouverture du fichier échouée "
                         "lors de la récupération des HighScores".encode("latin-1"))


class SansAffichage(unittest.TestCase):
    def test_without_a_display_the_game_says_so_and_stops(self):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        # Ending at once releases nothing, on purpose.
        env["ASAN_OPTIONS"] = os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
        for affichage in ({}, {"DISPLAY": ":59999"}, {"DISPLAY": "localhost:59999"}):
            with self.subTest(DISPLAY=affichage.get("DISPLAY")):
                fini = subprocess.run([PROGRAMME], capture_output=True, timeout=10,
                                      env=dict(env, **affichage, **prechargement()))
                self.assertEqual((fini.returncode, fini.stdout), (1, b""))
                self.assertRegex(fini.stderr, rb"\AErreur Affichage: [^\n]+\n\Z")

    def test_without_its_menu_song_the_game_ends_with_status_1(self):
        with tempfile.TemporaryDirectory() as dossier:
            shutil.copytree(DONNEES, dossier, dirs_exist_ok=True)
            os.remove(os.path.join(dossier, "MUSIC/menu.mid"))
            env = dict(os.environ, SDL_VIDEODRIVER="dummy", SDL_AUDIODRIVER="dummy",
                       ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0",
                       **prechargement())
            fini = subprocess.run([PROGRAMME], cwd=dossier, capture_output=True, timeout=10,
                                  env=env)
            self.assertEqual((fini.returncode, fini.stdout, fini.stderr), (1, b"", b""))


if __name__ == "__main__":
    unittest.main()
