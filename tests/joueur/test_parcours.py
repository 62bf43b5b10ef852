#!/usr/bin/python3
# The real program as a player meets it: a whole session in a real window, then with no menu song
# and with no display.

import os
import subprocess
import unittest

from session import PROGRAMME, Partie, ServeurX, prechargement

SCORES = "highscores.tallyvault"
# Ending at once releases nothing, on purpose.
SANS_FUITES = {"ASAN_OPTIONS": os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0"}


class Parcours(unittest.TestCase):
    def setUp(self):
        self.serveur = self.enterContext(ServeurX())

    def test_a_whole_session_then_starts_that_fail(self):
        # A table padded by hand far past a page, read whole, keeps its scores; the display is
        # named as some sessions name it; SDL's disk driver stands for a sound card.
        avant = b" " * 5000 + b"57 43 40 3 -2"
        partie = self.enterContext(Partie(self.serveur, fichiers={SCORES: avant}, env={
            "DISPLAY": "unix%s.0" % self.serveur.nom, "SDL_AUDIODRIVER": "disk",
            "SDL_DISKAUDIOFILE": "..son"}))
        partie.attendre_titre("Pressathon - HOME")
        partie.montre("IMG/fond.png", (0, 120, 800, 600))
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
        # The score file turned into a named pipe: the high scores say so, on the error stream
        # that the sound device's search had muted for a while.
        os.remove(partie.dossier / SCORES)
        os.mkfifo(partie.dossier / SCORES)
        for touche, titre in (("2", "HIGHSCORES"), ("Escape", "HOME"), ("Escape", "CREDITS")):
            partie.touche(touche)
            partie.attendre_titre("Pressathon - " + titre)
        partie.montre("IMG/fondCredits.png", (0, 0, 300, 500))
        partie.touche("Escape")
        self.assertEqual(partie.processus.wait(5), 0)
        self.assertEqual(partie.sortie_erreurs(), "Erreur Fichier: Ouverture du fichier échouée "
                         "lors de la récupération des HighScores".encode("latin-1"))
        self.assertTrue(any(partie.lire("..son")), "no music reached the sound device")

        # Without its menu song or a display, the game ends with status 1; a display reached
        # over TCP, as ssh -X names it, is one.
        with Partie(self.serveur, fichiers={"MUSIC/menu.mid": None}, env=SANS_FUITES | {
                "DISPLAY": "localhost%s.0" % self.serveur.nom}) as partie:
            self.assertEqual((partie.processus.wait(10), partie.sortie_erreurs()), (1, b""))
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
        for affichage in ({}, {"DISPLAY": ":59999"}, {"DISPLAY": "localhost:59999"}):
            with self.subTest(DISPLAY=affichage.get("DISPLAY")):
                fini = subprocess.run([PROGRAMME], capture_output=True, timeout=10,
                                      env=env | affichage | SANS_FUITES | prechargement())
                self.assertEqual((fini.returncode, fini.stdout), (1, b""))
                self.assertRegex(fini.stderr, rb"\AErreur Affichage: [^\n]+\n\Z")


if __name__ == "__main__":
    unittest.main()
