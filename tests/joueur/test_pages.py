#!/usr/bin/python3
"""The high-score screen after a game, and the instructions page, in a real window."""

import os
import unittest

from session import DONNEES, Partie, ServeurX, ecart, sur_blanc

SCORES = "highscores.tallyvault"
# The five lines of the table, from the left of their text to the frame's edge.
LIGNES = (190, 70, 600, 390)


class Pages(unittest.TestCase):
    def setUp(self):
        self.serveur = ServeurX().__enter__()
        self.addCleanup(self.serveur.__exit__, None, None, None)

    def partie(self, scores=None):
        partie = Partie(self.serveur, fichiers={SCORES: scores} if scores else None)
        # Ending a game twice is harmless: the cleanup covers a failed start.
        self.addCleanup(partie.__exit__, None, None, None)
        partie.attendre_titre("Pressathon - HOME")
        return partie

    def tableau(self, partie):
        """Opens the high-score screen and returns its first drawn frame."""
        partie.touche("2")
        partie.attendre_titre("Pressathon - HIGHSCORES")
        partie.attendre_taille((600, 450))
        fond = sur_blanc(os.path.join(DONNEES, "IMG/fondHighScores.png"))
        # The screen draws on events only: a pointer move makes sure of a frame,
        # recognised by its background above the lines.
        partie.bouger(20, 430)
        partie.attendre(lambda: ecart(partie.capture(), fond, (0, 0, 600, 65)) < 4, 5,
                        "the high-score picture")
        return partie.capture()

    def test_a_game_of_twelve_clicks_shows_in_the_high_scores(self):
        # What the screen must show: the same program, given the expected table.
        with self.partie(b"57 43 40 12 3") as temoin:
            attendu = self.tableau(temoin)

        with self.partie(b"57 43 40 3 -2") as partie:
            avant = self.tableau(partie)
            partie.touche("Escape")
            partie.attendre_titre("Pressathon - HOME")
            self.assertEqual(partie.taille(), (800, 600))

            partie.touche("1")
            partie.attendre_titre("Pressathon - JOUE")
            partie.clic(400, 300, 12)
            partie.attendre(lambda: partie.lire(SCORES) != b"57 43 40 3 -2", 25,
                            "the end of the game")
            partie.touche("Escape")
            partie.attendre_titre("Pressathon - HOME")
            self.assertEqual(partie.lire(SCORES), b"57 43 40 12 3")

            apres = self.tableau(partie)
            partie.touche("Escape")
            partie.attendre_titre("Pressathon - HOME")
            self.assertEqual(partie.taille(), (800, 600))
            self.assertIsNone(partie.processus.poll())
            self.assertEqual(partie.stderr(), b"")

        self.assertLess(ecart(apres, attendu, LIGNES), 0.5)
        # The old table differs in its last two lines only, and that shows.
        self.assertGreater(ecart(avant, attendu, LIGNES), 3)

    def test_instructions_page_and_its_close_button(self):
        with self.partie() as partie:
            partie.touche("3")
            partie.attendre_titre("Pressathon - INSTRUCTIONS")
            self.assertEqual(partie.taille(), (800, 600))
            page = sur_blanc(os.path.join(DONNEES, "IMG/fondInstructions.png"))
            partie.bouger(700, 500)
            partie.attendre(lambda: ecart(partie.capture(), page, (0, 0, 800, 600)) < 2, 5,
                            "the instructions page")

            # Closing the window leaves the page, not the program.
            partie.fermer()
            partie.attendre_titre("Pressathon - HOME")
            menu = sur_blanc(os.path.join(DONNEES, "IMG/fond.png"))
            self.assertLess(ecart(partie.capture(), menu, (0, 120, 800, 600)), 4)
            self.assertIsNone(partie.processus.poll())
            self.assertEqual(partie.stderr(), b"")


if __name__ == "__main__":
    unittest.main()
