#!/usr/bin/python3
"""Missing data files, damaged score files and a game killed while it saves: the real
program keeps going, says only its two file messages, and never leaves a broken file."""

import os
import random
import re
import shutil
import time
import unittest

from fiabilite_outils import (ACCUEIL, CREDITS, DEMARRAGE, FICHIER, JEU, MESSAGE_LECTURE,
                              MESSAGE_SAUVEGARDE, REGLES, SCORES, Session, aller, blanc,
                              dossier_temporaire, en_parallele, fichier_change, finir,
                              jouer_partie, lanceur_dossier, lanceur_lecture_seule, messages,
                              sans_fuites, table_ecrite, tuer)
from session import DONNEES, ecart, sur_blanc

IMAGES = ["IMG/fond.png", "IMG/icone.png", "IMG/fondJeu.png", "IMG/fondHighScores.png",
          "IMG/fondInstructions.png", "IMG/fondCredits.png"]
CHANSONS_ECRANS = {"MUSIC/jeu01.mid": "1", "MUSIC/highscores.mid": "2",
                   "MUSIC/instructions.mid": "3"}
SONS = ["SFX/click.wav", "SFX/finJeuClickClassic.wav"]

# Regions a background fills and that no text covers, per screen.
FOND_MENU = (0, 120, 800, 600)
FOND_JEU = (0, 0, 800, 200)
FOND_SCORES = (0, 0, 190, 450)

# A table whose old text is longer than the new one: a rewrite not cut to its
# length would leave digits of the old fifth entry behind.
TABLE_AVANT = b"9 7 5 2 -1000000"
TABLE_APRES = (9, 7, 5, 3, 2)
MORTS = 10


def image_dans(nom):
    return sur_blanc(os.path.join(DONNEES, nom))


def demarrer(partie):
    partie.attendre_titre(ACCUEIL, DEMARRAGE)


# Sessions. Each returns what the tests check; a step that fails raises.

def session_ordinaire():
    """Everything present: a game with four clicks, the table, the credits."""
    with Session() as partie:
        demarrer(partie)
        mesures = {"icone": partie.propriete("_NET_WM_ICON") is not None}
        partie.redessiner()
        mesures["menu"] = blanc(partie.capture(), FOND_MENU)
        aller(partie, "3", REGLES)
        partie.redessiner()
        mesures["regles"] = blanc(partie.capture(), (0, 0, 800, 600))
        aller(partie, "Escape", ACCUEIL)
        avant = partie.lire(FICHIER)
        jouer_partie(partie, 4, fichier_change(partie, avant))
        aller(partie, "2", SCORES)
        partie.redessiner()
        mesures["scores"] = blanc(partie.capture(), FOND_SCORES)
        aller(partie, "Escape", ACCUEIL)
        aller(partie, "1", JEU)
        time.sleep(0.5)
        mesures["jeu"] = blanc(partie.capture(), FOND_JEU)
        aller(partie, "Escape", ACCUEIL)
        aller(partie, "Escape", CREDITS)
        partie.attendre_taille((300, 500))
        time.sleep(0.3)
        mesures["credits"] = blanc(partie.capture(), (0, 0, 300, 500))
        partie.touche("Escape")
        mesures["statut"] = partie.attendre_fin(30)
        mesures["fichier"] = partie.lire(FICHIER)
        mesures["stderr"] = partie.stderr()
        return mesures


def sans_chanson_du_menu():
    with Session(retirer=["MUSIC/menu.mid"], env=sans_fuites()) as partie:
        return partie.attendre_fin(DEMARRAGE), partie.stderr()


def sans_chanson_d_ecran(chanson, touche):
    """The screen closes at once: the menu answers the next key at once."""
    with Session(retirer=[chanson]) as partie:
        demarrer(partie)
        partie.touche(touche)
        time.sleep(1.0)
        apres = (partie.titre(), partie.taille())
        # Had the screen stayed open, this key would not reach the menu; the
        # game alone would hold it for more than eleven seconds.
        sonde, titre = ("2", SCORES) if touche == "3" else ("3", REGLES)
        aller(partie, sonde, titre, 5)
        aller(partie, "Escape", ACCUEIL)
        taille = partie.taille()
        return apres, taille, finir(partie), partie.stderr()


def sans_chanson_des_credits():
    with Session(retirer=["MUSIC/credits.mid"]) as partie:
        demarrer(partie)
        aller(partie, "Escape", CREDITS)
        time.sleep(1.5)
        encore = partie.processus.poll() is None and partie.titre() == CREDITS
        partie.touche("Escape")
        return encore, partie.attendre_fin(30), partie.stderr()


def sans_image(nom):
    """Shows the screen that uses the picture and measures where it would be."""
    with Session(retirer=[nom]) as partie:
        demarrer(partie)
        mesure = None
        if nom == "IMG/icone.png":
            mesure = partie.propriete("_NET_WM_ICON") is not None
        elif nom == "IMG/fond.png":
            partie.redessiner()
            mesure = blanc(partie.capture(), FOND_MENU)
        elif nom == "IMG/fondJeu.png":
            aller(partie, "1", JEU)
            time.sleep(0.5)
            mesure = blanc(partie.capture(), FOND_JEU)
            aller(partie, "Escape", ACCUEIL)
        elif nom == "IMG/fondHighScores.png":
            aller(partie, "2", SCORES)
            partie.redessiner()
            mesure = blanc(partie.capture(), FOND_SCORES)
            aller(partie, "Escape", ACCUEIL)
        elif nom == "IMG/fondInstructions.png":
            aller(partie, "3", REGLES)
            partie.redessiner()
            mesure = blanc(partie.capture(), (0, 0, 800, 600))
            aller(partie, "Escape", ACCUEIL)
        else:
            aller(partie, "Escape", CREDITS)
            partie.attendre_taille((300, 500))
            time.sleep(0.3)
            mesure = blanc(partie.capture(), (0, 0, 300, 500))
            partie.touche("Escape")
            return mesure, partie.attendre_fin(30), partie.stderr()
        return mesure, finir(partie), partie.stderr()


def sans_police():
    """Every screen shows its picture and no text at all."""
    with Session(retirer=["journal.ttf"]) as partie:
        demarrer(partie)
        partie.redessiner()
        ecarts = {"menu": ecart(partie.capture(), image_dans("IMG/fond.png"),
                                (0, 0, 800, 600))}
        aller(partie, "1", JEU)
        time.sleep(0.5)
        ecarts["jeu"] = ecart(partie.capture(), image_dans("IMG/fondJeu.png"), (0, 0, 800, 600))
        aller(partie, "Escape", ACCUEIL)
        aller(partie, "2", SCORES)
        partie.redessiner()
        ecarts["scores"] = ecart(partie.capture(), image_dans("IMG/fondHighScores.png"),
                                 (0, 0, 600, 450))
        aller(partie, "Escape", ACCUEIL)
        return ecarts, finir(partie), partie.stderr()


def sans_son(nom):
    with Session(retirer=[nom]) as partie:
        demarrer(partie)
        jouer_partie(partie, 4, fichier_change(partie, partie.lire(FICHIER)))
        return partie.lire(FICHIER), finir(partie), partie.stderr()


def avec_fichier_abime(clics, contenu=None, retirer=(), programme=None):
    """A game, the table and the credits; the game ends when the file or stderr changes."""
    fichiers = {FICHIER: contenu} if contenu is not None else {}
    with Session(retirer=list(retirer), fichiers=fichiers, programme=programme) as partie:
        demarrer(partie)
        try:
            avant = partie.lire(FICHIER)
        except OSError:
            avant = None

        def fini():
            return partie.stderr() != b"" or fichier_change(partie, avant)()

        jouer_partie(partie, clics, fini)
        aller(partie, "2", SCORES)
        partie.redessiner()
        aller(partie, "Escape", ACCUEIL)
        statut = finir(partie)
        chemin = partie.chemin(FICHIER)
        reste = partie.lire(FICHIER) if os.path.isfile(chemin) else os.path.exists(chemin)
        return statut, partie.stderr(), reste


def tue_a_la_fin(graine):
    """Killed at a random moment around the end of the countdown, when the score is saved."""
    hasard = random.Random(graine)
    with Session(fichiers={FICHIER: TABLE_AVANT}) as partie:
        demarrer(partie)
        aller(partie, "1", JEU)
        debut = time.monotonic()
        time.sleep(0.5)
        partie.clic(400, 300, 3)
        # The first save comes some 10.4 s after the game's caption shows.
        time.sleep(max(0.0, debut + hasard.uniform(9.4, 11.2) - time.monotonic()))
        tuer(partie)
        return partie.lire(FICHIER)


class Fiabilite(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dossier = dossier_temporaire()
        travaux = [("ordinaire", session_ordinaire)]
        travaux += [("mort%d" % i, lambda i=i: tue_a_la_fin(i)) for i in range(MORTS)]
        abimes = {
            "absent": lambda: avec_fichier_abime(3, retirer=[FICHIER]),
            "lecture seule": lambda: avec_fichier_abime(
                3, programme=lanceur_lecture_seule(cls.dossier)),
            "dossier": lambda: avec_fichier_abime(3, programme=lanceur_dossier(cls.dossier)),
            "charabia": lambda: avec_fichier_abime(
                3, b"\x00zz\xff" + bytes(random.Random(7).randrange(256) for _ in range(3000))),
            "un mega": lambda: avec_fichier_abime(3, b"9" * (1 << 20)),
            "desordre": lambda: avec_fichier_abime(5, b"3 50 1 40 2"),
            "negatifs": lambda: avec_fichier_abime(3, b"-5 -10 -20 -30 -40"),
            "hors bornes": lambda: avec_fichier_abime(3, b"99999999999 -99999999999 7 0 0"),
        }
        travaux += [("fichier " + nom, travail) for nom, travail in abimes.items()]
        travaux += [(nom, lambda nom=nom: sans_son(nom)) for nom in SONS]
        travaux += [(nom, lambda nom=nom, t=t: sans_chanson_d_ecran(nom, t))
                    for nom, t in CHANSONS_ECRANS.items()]
        travaux += [("MUSIC/credits.mid", sans_chanson_des_credits),
                    ("MUSIC/menu.mid", sans_chanson_du_menu), ("journal.ttf", sans_police)]
        travaux += [(nom, lambda nom=nom: sans_image(nom)) for nom in IMAGES]
        # The games are long and mostly wait; the short sessions fill the gaps.
        cls.futurs = en_parallele(travaux, int(os.environ.get("PRESSATHON_OUVRIERS", "8")))

    @classmethod
    def tearDownClass(cls):
        for futur in cls.futurs.values():
            futur.exception()
        shutil.rmtree(cls.dossier, ignore_errors=True)

    def resultat(self, nom):
        return self.futurs[nom].result(timeout=300)

    def test_an_ordinary_session_says_nothing_and_keeps_the_score(self):
        mesures = self.resultat("ordinaire")
        self.assertEqual(mesures["statut"], 0)
        self.assertEqual(mesures["stderr"], b"")
        self.assertEqual(mesures["fichier"], b"4 0 0 0 0")
        # The measures the missing-picture cases compare with: drawn, not white.
        self.assertTrue(mesures["icone"])
        for ecran in ("menu", "regles", "scores", "jeu", "credits"):
            self.assertGreater(mesures[ecran], 10, ecran)

    def test_without_the_menu_song_the_program_ends_with_status_1(self):
        statut, erreurs = self.resultat("MUSIC/menu.mid")
        self.assertEqual(statut, 1)
        self.assertEqual(erreurs, b"")

    def test_without_its_song_a_screen_gives_the_menu_back_at_once(self):
        for nom in CHANSONS_ECRANS:
            with self.subTest(nom):
                apres, taille, statut, erreurs = self.resultat(nom)
                self.assertEqual(apres, (ACCUEIL, (800, 600)))
                self.assertEqual(taille, (800, 600))
                self.assertEqual(statut, 0)
                self.assertEqual(erreurs, b"")

    def test_without_their_song_the_credits_run_in_silence(self):
        encore, statut, erreurs = self.resultat("MUSIC/credits.mid")
        self.assertTrue(encore)
        self.assertEqual(statut, 0)
        self.assertEqual(erreurs, b"")

    def test_a_missing_picture_or_font_is_not_drawn(self):
        for nom in IMAGES:
            with self.subTest(nom):
                mesure, statut, erreurs = self.resultat(nom)
                if nom == "IMG/icone.png":
                    self.assertFalse(mesure)
                else:
                    self.assertLess(mesure, 1.0)
                self.assertEqual(statut, 0)
                self.assertEqual(erreurs, b"")
        with self.subTest("journal.ttf"):
            ecarts, statut, erreurs = self.resultat("journal.ttf")
            for ecran, valeur in ecarts.items():
                self.assertLess(valeur, 2.0, ecran)
            self.assertEqual(statut, 0)
            self.assertEqual(erreurs, b"")

    def test_without_a_sound_effect_the_clicks_still_count(self):
        for nom in SONS:
            with self.subTest(nom):
                fichier, statut, erreurs = self.resultat(nom)
                self.assertEqual(fichier, b"4 0 0 0 0")
                self.assertEqual(statut, 0)
                self.assertEqual(erreurs, b"")

    def test_a_score_file_that_cannot_be_used_gets_only_its_messages(self):
        attendus = {"absent": (True, False), "lecture seule": (False, b"0 0 0 0 0"),
                    "dossier": (True, True)}
        for nom, (lecture, reste) in attendus.items():
            with self.subTest(nom):
                statut, erreurs, apres = self.resultat("fichier " + nom)
                self.assertEqual(statut, 0)
                trouves = messages(erreurs)
                self.assertIsNotNone(trouves, erreurs)
                sauvegardes = trouves.count(MESSAGE_SAUVEGARDE)
                # One per finished pass of the game, then the table's own.
                self.assertGreaterEqual(sauvegardes, 1)
                self.assertEqual(trouves, [MESSAGE_SAUVEGARDE] * sauvegardes +
                                 ([MESSAGE_LECTURE] if lecture else []))
                # Nothing is created, nothing replaced.
                self.assertEqual(apres, reste)

    def test_a_damaged_score_file_is_read_and_rewritten_quietly(self):
        exacts = {"charabia": (3, 0, 0, 0, 0), "desordre": (5, 3, 50, 5, 1),
                  "negatifs": (3, -5, -10, -20, -30)}
        for nom in ("charabia", "un mega", "desordre", "negatifs", "hors bornes"):
            with self.subTest(nom):
                statut, erreurs, apres = self.resultat("fichier " + nom)
                self.assertEqual(statut, 0)
                self.assertEqual(erreurs, b"")
                table = table_ecrite(apres)
                self.assertIsNotNone(table, apres[:80])
                if nom in exacts:
                    # An unsorted table takes the same score again on the
                    # next pass, in the next place the rules find for it.
                    self.assertEqual(table, exacts[nom])
                else:
                    # How far-out numbers read is the game's own choice; the
                    # new score takes a place among them all the same.
                    self.assertIn(3, table)

    def test_a_game_killed_while_saving_leaves_the_old_or_the_new_table(self):
        avant = tuple(int(n) for n in TABLE_AVANT.split())
        issues = []
        for i in range(MORTS):
            with self.subTest(mort=i):
                contenu = self.resultat("mort%d" % i)
                nombres = re.findall(rb"-?\d+", contenu)
                table = tuple(int(n) for n in nombres)
                if contenu == TABLE_AVANT:
                    issues.append("old")
                else:
                    self.assertEqual(table_ecrite(contenu), TABLE_APRES, contenu)
                    issues.append("new")
                self.assertIn(table, (avant, TABLE_APRES))
        print("\nkilled %d games: %d left the old table, %d the new one"
              % (MORTS, issues.count("old"), issues.count("new")))


if __name__ == "__main__":
    unittest.main()
