#!/usr/bin/python3
# The Windows game as a Windows player meets it, under Wine: its folder as unzipped
# (PRESSATHON_WINDOWS), double-clicked, so started in that folder. Wine's prefix and server are
# scripts/windows.sh's; with no window manager on Xvfb, the prefix lets X give the keyboard's
# focus to a window (UseTakeFocus off).

import os
import subprocess
import time
import unittest

from session import Partie, ServeurX

DOSSIER = os.environ.get("PRESSATHON_WINDOWS", "../../build-windows/Pressathon")
WINE = ("wine", "pressathon.exe")
SCORES = "highscores.tallyvault"
MESSAGE_LECTURE = ("Erreur Fichier: Ouverture du fichier échouée lors de la récupération des "
                   "HighScores").encode("latin-1")


def jeu(serveur, **options):
    return Partie(serveur, commande=WINE, donnees=DOSSIER, **options)


# Wine starts its desktop for an X display the first time a program there opens a window, and
# that program's window fails (SDL: "Couldn't create window"): the game ends at once, saying
# the display refuses its mode. A Windows player never meets this. Before the tests, the game is
# started until its window shows, then left.
def setUpModule():
    with ServeurX() as serveur:
        for _ in range(5):
            with jeu(serveur) as partie:
                try:
                    partie.attendre_titre("Pressathon - HOME", delai=30)
                    return
                except (AssertionError, subprocess.SubprocessError):
                    if partie.processus.poll() is None:
                        raise
    raise AssertionError("the game never opened its window under Wine")


class Windows(unittest.TestCase):
    def setUp(self):
        self.serveur = self.enterContext(ServeurX())

    # Waits for the screen with that caption, and checks its window's size.
    def ecran(self, partie, titre, taille):
        partie.attendre_titre("Pressathon - " + titre, delai=30)
        self.assertIn("Geometry: %dx%d" % taille,
                      partie.xdotool("getwindowgeometry", partie.fenetre), titre)

    def test_a_session_by_the_keys_and_the_keypad(self):
        partie = self.enterContext(jeu(self.serveur, fichiers={SCORES: b"5 4 3 2 1"}))
        self.ecran(partie, "HOME", (800, 600))
        for touche, titre, taille in (("KP_2", "HIGHSCORES", (600, 450)),
                                      ("Escape", "HOME", (800, 600)),
                                      ("3", "INSTRUCTIONS", (800, 600)),
                                      ("Escape", "HOME", (800, 600)),
                                      ("KP_1", "JOUE", (800, 600))):
            debut = time.monotonic()
            partie.touche(touche)
            self.ecran(partie, titre, taille)
        # A game of 7 clicks, the wheel spun between them: scrolling is not clicking. It lasts
        # its ten seconds, from its key to its score.
        partie.clic(7)
        partie.clic(40, 4, 1)
        partie.attendre(lambda: partie.lire(SCORES) != b"5 4 3 2 1", 25, "the end")
        self.assertGreater(time.monotonic() - debut, 9.85)
        self.assertLess(time.monotonic() - debut, 11.5)
        self.assertEqual(partie.lire(SCORES), b"7 5 4 3 2")
        partie.touche("Escape")
        self.ecran(partie, "HOME", (800, 600))
        partie.touche("4")
        self.ecran(partie, "CREDITS", (300, 500))
        partie.touche("Escape")
        self.assertEqual(partie.processus.wait(10), 0)
        # Nothing was written to the error stream or the output: neither file is left.
        self.assertFalse({"stderr.txt", "stdout.txt"} & set(os.listdir(partie.dossier)))

    def test_starts_that_end_at_once_and_a_message(self):
        with jeu(self.serveur, fichiers={"MUSIC/menu.mid": None}) as partie:
            self.assertEqual(partie.processus.wait(30), 1)
        # A score file that cannot be read: its message, byte for byte, in stderr.txt.
        partie = self.enterContext(jeu(self.serveur, fichiers={SCORES: None}))
        os.mkdir(partie.dossier / SCORES)
        self.ecran(partie, "HOME", (800, 600))
        for touche, titre in (("2", "HIGHSCORES"), ("Escape", "HOME"), ("Escape", "CREDITS")):
            partie.touche(touche)
            partie.attendre_titre("Pressathon - " + titre, delai=30)
        partie.touche("Escape")
        self.assertEqual(partie.processus.wait(10), 0)
        self.assertEqual(partie.lire("stderr.txt"), MESSAGE_LECTURE)
        self.assertFalse((partie.dossier / "stdout.txt").exists())

    def test_two_games_ending_together_both_keep_their_scores(self):
        une = self.enterContext(jeu(self.serveur, fichiers={SCORES: b"50 40 30 20 10"}))
        autre = self.enterContext(jeu(self.serveur, dossier=une.dossier))
        for partie in (une, autre):
            partie.attendre_titre("Pressathon - HOME", delai=30)
        # Side by side, so that each gets its own clicks; started within a moment, they end
        # within a moment too.
        for partie, x in ((une, 0), (autre, 850)):
            partie.xdotool("windowmove", partie.fenetre, x, 0)
            partie.attendre(lambda: "Position: %d,0 " % x in partie.xdotool(
                "getwindowgeometry", partie.fenetre), 10, "the window moved")
        for partie in (une, autre):
            partie.appuyer("1", "JOUE")
        une.clic(60, delai_ms=20)
        autre.clic(55, delai_ms=20)
        partie.attendre(lambda: une.lire(SCORES) == b"60 55 50 40 30", 30, "both scores")


if __name__ == "__main__":
    unittest.main()
