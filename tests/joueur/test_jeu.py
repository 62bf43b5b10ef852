#!/usr/bin/python3
"""The click game played in a real window under Xvfb: counting, the score file, leaving."""

import os
import subprocess
import time
import unittest

from session import Partie, ServeurX

SCORES = "highscores.tallyvault"


def clics_en_bougeant(partie, nombre):
    """Clicks with the pointer moving between them, in one xdotool run."""
    geste = []
    for i in range(nombre):
        # A few moves between clicks, all over the window, never twice the same.
        for j in range(3):
            geste += ["mousemove", "--window", str(partie.id_fenetre),
                      str(100 + (i * 37 + j * 151) % 600), str(80 + (i * 53 + j * 97) % 440)]
        geste += ["click", "1", "sleep", "0.02"]
    subprocess.run(["xdotool", *geste], check=True, timeout=30,
                   env=dict(os.environ, DISPLAY=partie.serveur.nom))


class Jeu(unittest.TestCase):
    def setUp(self):
        self.serveur = ServeurX().__enter__()
        self.addCleanup(self.serveur.__exit__, None, None, None)

    def partie(self, scores):
        partie = Partie(self.serveur, fichiers={SCORES: scores})
        self.addCleanup(partie.__exit__, None, None, None)
        partie.attendre_titre("Pressathon - HOME")
        return partie

    def test_thirty_clicks_while_the_pointer_moves_enter_the_table(self):
        partie = self.partie(b"50 40 20 10 5")
        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        debut = time.monotonic()
        clics_en_bougeant(partie, 30)

        # The count reaches the file on the first pass after the time is up.
        partie.attendre(lambda: partie.lire(SCORES) != b"50 40 20 10 5", 25,
                        "the end of the game")
        # Ten seconds of game time never pass quicker than 9.9 s of real time.
        self.assertGreater(time.monotonic() - debut, 9.5)
        self.assertEqual(partie.titre(), "Pressathon - JOUE")
        self.assertEqual(partie.lire(SCORES), b"50 40 30 20 10")

        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        self.assertEqual(partie.taille(), (800, 600))
        self.assertIsNone(partie.processus.poll())
        # The finished game wrote the count once; the table stays as it was left.
        self.assertEqual(partie.lire(SCORES), b"50 40 30 20 10")
        self.assertEqual(partie.stderr(), b"")

    def test_escape_while_counting_leaves_the_score_file_untouched(self):
        # Any count would enter this table, and a rewrite would lose the newline.
        avant = b"0 0 0 0 0\n"
        partie = self.partie(avant)
        avant_stat = os.stat(partie.chemin(SCORES))
        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        partie.clic(400, 300, 3)
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        self.assertEqual(partie.taille(), (800, 600))
        # Back in the menu no game runs any more: what the file holds now is final.
        self.assertEqual(partie.lire(SCORES), avant)
        self.assertEqual(os.stat(partie.chemin(SCORES)).st_mtime_ns, avant_stat.st_mtime_ns)
        self.assertIsNone(partie.processus.poll())
        self.assertEqual(partie.stderr(), b"")


if __name__ == "__main__":
    unittest.main()
