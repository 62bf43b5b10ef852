#!/usr/bin/python3
"""The menu and the credits, played in a real window under Xvfb."""

import os
import time
import unittest

from session import DONNEES, Partie, ServeurX, ecart, sans_fuites, sur_blanc


def pixels_sombres(image, boite):
    return sum(1 for r, g, b in image.crop(boite).getdata() if r + g + b < 150)


class Menu(unittest.TestCase):
    def setUp(self):
        self.serveur = ServeurX().__enter__()
        self.addCleanup(self.serveur.__exit__, None, None, None)

    def partie(self, **options):
        partie = Partie(self.serveur, **options)
        self.addCleanup(partie.__exit__, None, None, None)
        return partie

    def test_the_menu_shows_its_picture_and_welcome_text(self):
        partie = self.partie()
        partie.attendre_titre("Pressathon - HOME")
        self.assertEqual(partie.taille(), (800, 600))
        fond = sur_blanc(os.path.join(DONNEES, "IMG/fond.png"))
        bas = (0, 120, 800, 600)

        def menu_dessine():
            return ecart(partie.capture(), fond, bas) < 4

        # The window system's own first events (focus, pointer) already
        # draw the first frame; a pointer move makes sure of one.
        partie.bouger(700, 500)
        partie.attendre(menu_dessine, 5, "the menu picture")
        # "Bienvenue !" is drawn in black over the calm top band.
        haut = (150, 0, 650, 60)
        self.assertGreater(pixels_sombres(partie.capture(), haut),
                           pixels_sombres(fond, haut) + 500)
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - CREDITS")
        partie.touche("Escape")
        self.assertEqual(partie.attendre_fin(), 0)
        self.assertEqual(partie.stderr(), b"")

    def test_each_way_out_shows_the_credits_and_ends_with_status_0(self):
        for geste in ("4", "KP_4", "Escape", "fermer"):
            with self.subTest(geste=geste):
                partie = self.partie()
                partie.attendre_titre("Pressathon - HOME")
                if geste == "fermer":
                    partie.fermer()
                else:
                    partie.touche(geste)
                partie.attendre_titre("Pressathon - CREDITS")
                partie.attendre_taille((300, 500))
                time.sleep(0.3)
                credits = sur_blanc(os.path.join(DONNEES, "IMG/fondCredits.png"))
                self.assertLess(ecart(partie.capture(), credits, (0, 0, 300, 500)), 4)
                debut = time.monotonic()
                partie.touche("Escape")
                self.assertEqual(partie.attendre_fin(5), 0)
                self.assertLess(time.monotonic() - debut, 2)
                self.assertEqual(partie.stderr(), b"")

    def test_credits_without_input_last_ten_seconds(self):
        partie = self.partie()
        partie.attendre_titre("Pressathon - HOME")
        partie.touche("4")
        partie.attendre_titre("Pressathon - CREDITS")
        debut = time.monotonic()
        self.assertEqual(partie.attendre_fin(20), 0)
        self.assertAlmostEqual(time.monotonic() - debut, 10.1, delta=1.0)
        self.assertEqual(partie.stderr(), b"")

    def test_without_the_menu_song_the_program_ends_with_status_1(self):
        # That way out releases nothing, on purpose.
        partie = self.partie(retirer=["MUSIC/menu.mid"], env=sans_fuites())
        self.assertEqual(partie.attendre_fin(15), 1)
        self.assertEqual(partie.stderr(), b"")


if __name__ == "__main__":
    unittest.main()
