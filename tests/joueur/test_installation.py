#!/usr/bin/python3
"""The installed game: its files, its menu entry, each player's own scores through the launcher."""

import configparser
import filecmp
import os
import shlex
import shutil
import subprocess
import tempfile
import time
import unittest

from PIL import Image

from session import Partie, ServeurX, arreter

BUILD = os.environ.get("PRESSATHON_BUILD", "../../build")
SOURCES = os.environ.get("PRESSATHON_SOURCES", "../..")
DONNEES_SOURCES = os.path.join(SOURCES, "data")


def installer(prefixe):
    subprocess.run(["cmake", "--install", BUILD, "--prefix", prefixe], check=True,
                   stdout=subprocess.DEVNULL, timeout=60)


def lire(chemin):
    with open(chemin, "rb") as entree:
        return entree.read()


def ecrire(chemin, contenu):
    with open(chemin, "wb") as sortie:
        sortie.write(contenu)


def scores(chemin):
    return [int(mot) for mot in lire(chemin).split()]


class Installation(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.racine = tempfile.mkdtemp(prefix="pressathon-installation-")
        cls.prefixe = os.path.join(cls.racine, "prefixe")
        installer(cls.prefixe)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.racine, ignore_errors=True)

    def dossier_temporaire(self):
        dossier = tempfile.mkdtemp(dir=self.racine)
        self.addCleanup(shutil.rmtree, dossier, True)
        return dossier

    def environnement(self, **variables):
        env = {cle: valeur for cle, valeur in os.environ.items()
               if cle not in ("HOME", "XDG_DATA_HOME", "DISPLAY")}
        env.update(variables)
        return env

    def test_the_tree_holds_the_program_the_data_the_icons_and_the_licences(self):
        p = self.prefixe
        self.assertTrue(os.access(os.path.join(p, "bin/pressathon"), os.X_OK))
        self.assertTrue(lire(os.path.join(p, "bin/pressathon")).startswith(b"#!/bin/sh\n"))
        self.assertTrue(os.access(os.path.join(p, "libexec/pressathon/pressathon"), os.X_OK))
        partage = os.path.join(p, "share/pressathon")
        # The files the program reads, identical to the sources, and nothing else.
        attendus = ["journal.ttf", "highscores.tallyvault"] + [
            os.path.join(dossier, nom) for dossier in ("IMG", "MUSIC", "SFX")
            for nom in os.listdir(os.path.join(DONNEES_SOURCES, dossier))]
        installes = [os.path.relpath(os.path.join(racine, nom), partage)
                     for racine, _, noms in os.walk(partage) for nom in noms]
        self.assertEqual(sorted(installes), sorted(attendus))
        _, differents, illisibles = filecmp.cmpfiles(DONNEES_SOURCES, partage, attendus,
                                                     shallow=False)
        self.assertEqual(differents + illisibles, [])
        for nom in ("LICENCES.md", "journal.LICENSE.txt"):
            self.assertTrue(os.path.isfile(os.path.join(p, "share/doc/pressathon", nom)))
        for taille in (32, 48, 64, 128, 256):
            icone = os.path.join(p, "share/icons/hicolor/%dx%d/apps/pressathon.png"
                                 % (taille, taille))
            with Image.open(icone) as image:
                self.assertEqual(image.size, (taille, taille))

    def test_the_menu_entry_and_the_metainfo_pass_their_validators(self):
        entree = os.path.join(self.prefixe, "share/applications/pressathon.desktop")
        metainfo = os.path.join(self.prefixe, "share/metainfo")
        fichiers = os.listdir(metainfo)
        self.assertEqual(len(fichiers), 1)
        fiche = lire(os.path.join(metainfo, fichiers[0])).decode()
        self.assertIn("<launchable type=\"desktop-id\">pressathon.desktop</launchable>", fiche)
        self.assertIn("xml:lang=\"fr\"", fiche)
        outils = {"desktop-file-validate": [entree],
                  "appstreamcli": ["validate", "--no-net", os.path.join(metainfo, fichiers[0])]}
        for outil, arguments in outils.items():
            with self.subTest(outil=outil):
                if shutil.which(outil) is None:
                    self.skipTest("%s is not installed (Debian packages desktop-file-utils, "
                                  "appstream)" % outil)
                resultat = subprocess.run([outil, *arguments], capture_output=True, timeout=60)
                self.assertEqual(resultat.returncode, 0,
                                 (resultat.stdout + resultat.stderr).decode(errors="replace"))
                if outil == "desktop-file-validate":
                    # It prints hints and warnings even when it succeeds.
                    self.assertEqual(resultat.stdout + resultat.stderr, b"")

    def test_the_launcher_prepares_the_players_directory_once_and_runs_the_program_there(self):
        # A copy of the installation elsewhere, whose program only reports where
        # it was started: the launcher must find everything from its own place.
        copie = os.path.join(self.dossier_temporaire(), "ailleurs")
        shutil.copytree(self.prefixe, copie, symlinks=True)
        temoin = os.path.join(self.racine, "temoin-%d" % os.getpid())
        self.addCleanup(lambda: os.path.exists(temoin) and os.remove(temoin))
        programme = os.path.join(copie, "libexec/pressathon/pressathon")
        ecrire(programme, b'#!/bin/sh\npwd -P > "$TEMOIN"\nexit 7\n')
        os.chmod(programme, 0o755)
        maison = self.dossier_temporaire()
        dossier = os.path.join(maison, ".local/share/pressathon")
        installees = os.path.join(copie, "share/pressathon")

        def lancer(**variables):
            env = self.environnement(TEMOIN=temoin, **variables)
            return subprocess.run([os.path.join(copie, "bin/pressathon")], cwd="/", env=env,
                                  capture_output=True, timeout=30)

        # A relative XDG_DATA_HOME is not a place: HOME decides.
        resultat = lancer(HOME=maison, XDG_DATA_HOME="relatif")
        self.assertEqual(resultat.returncode, 7, resultat.stderr)
        self.assertEqual(resultat.stderr, b"")
        self.assertEqual(lire(temoin).decode().strip(), os.path.realpath(dossier))
        for nom in ("IMG", "MUSIC", "SFX", "journal.ttf"):
            self.assertTrue(os.path.islink(os.path.join(dossier, nom)))
            self.assertEqual(os.path.realpath(os.path.join(dossier, nom)),
                             os.path.realpath(os.path.join(installees, nom)))
        copie_scores = os.path.join(dossier, "highscores.tallyvault")
        self.assertFalse(os.path.islink(copie_scores))
        self.assertEqual(lire(copie_scores),
                         lire(os.path.join(installees, "highscores.tallyvault")))

        # Later runs keep what the player has: scores, other files, the directory.
        ecrire(copie_scores, b"42 7 0 0 0")
        ecrire(os.path.join(dossier, "a-moi"), b"x")
        avant = os.stat(dossier).st_ino
        os.remove(os.path.join(dossier, "SFX"))
        self.assertEqual(lancer(HOME=maison).returncode, 7)
        self.assertEqual(lire(copie_scores), b"42 7 0 0 0")
        self.assertTrue(os.path.exists(os.path.join(dossier, "a-moi")))
        self.assertEqual(os.stat(dossier).st_ino, avant)
        self.assertTrue(os.path.isdir(os.path.join(dossier, "SFX")))

        # Another installation of the game (the old one still there): the
        # links follow the one started last.
        deplacee = os.path.join(self.dossier_temporaire(), "deplacee")
        shutil.copytree(copie, deplacee, symlinks=True)
        copie = deplacee
        self.assertEqual(lancer(HOME=maison).returncode, 7)
        self.assertEqual(os.path.realpath(os.path.join(dossier, "IMG")),
                         os.path.realpath(os.path.join(deplacee, "share/pressathon/IMG")))
        self.assertEqual(lire(copie_scores), b"42 7 0 0 0")

        # No place for the player's directory: a message, a failure, no program.
        fichier = os.path.join(maison, "un-fichier")
        ecrire(fichier, b"")
        os.remove(temoin)
        for cas, variables in (("no HOME", {}), ("a file in the way", {"XDG_DATA_HOME": fichier})):
            with self.subTest(cas=cas):
                resultat = lancer(**variables)
                self.assertNotEqual(resultat.returncode, 0)
                self.assertTrue(resultat.stderr.startswith(b"pressathon : "), resultat.stderr)
                self.assertFalse(os.path.exists(temoin))

    def test_each_player_keeps_their_own_scores_across_games_and_upgrades(self):
        p = self.prefixe
        installees = os.path.join(p, "share/pressathon/highscores.tallyvault")
        origine = lire(installees)
        entree = configparser.ConfigParser(interpolation=None)
        entree.read(os.path.join(p, "share/applications/pressathon.desktop"))
        commande = shlex.split(entree["Desktop Entry"]["Exec"])
        chemin = os.path.join(p, "bin") + os.pathsep + os.environ.get("PATH", "")
        serveur = ServeurX().__enter__()
        self.addCleanup(serveur.__exit__, None, None, None)

        def partie(**variables):
            lancee = Partie(serveur, commande=commande,
                            env=self.environnement(PATH=chemin, **variables))
            self.addCleanup(lancee.__exit__, None, None, None)
            lancee.attendre_titre("Pressathon - HOME", 15)
            return lancee

        def sortir(lancee):
            lancee.touche("Escape")
            lancee.attendre_titre("Pressathon - CREDITS")
            lancee.touche("Escape")
            self.assertEqual(lancee.attendre_fin(10), 0)
            self.assertEqual(lancee.stderr(), b"")

        # The first player plays one game of five clicks.
        maison = self.dossier_temporaire()
        a_lui = os.path.join(maison, ".local/share/pressathon/highscores.tallyvault")
        jeu = partie(HOME=maison)
        jeu.touche("1")
        jeu.attendre_titre("Pressathon - JOUE")
        jeu.clic(5)
        # The file is rewritten in place: a read may meet it empty for a moment.
        jeu.attendre(lambda: (scores(a_lui) or [0])[0] > 0, 20, "the score in the player's file")
        self.assertEqual(scores(a_lui), [5, 0, 0, 0, 0])
        jeu.touche("Escape")
        jeu.attendre_titre("Pressathon - HOME")
        sortir(jeu)
        self.assertEqual(lire(installees), origine)

        # A second player, who keeps data under XDG_DATA_HOME, starts afresh.
        autre = self.dossier_temporaire()
        sortir(partie(HOME=self.dossier_temporaire(), XDG_DATA_HOME=autre))
        self.assertEqual(lire(os.path.join(autre, "pressathon/highscores.tallyvault")), origine)
        self.assertEqual(scores(a_lui), [5, 0, 0, 0, 0])

        # An upgrade rewrites the installed files, not the player's.
        ecrire(installees, b"9 9 9 9 9")
        installer(p)
        self.assertEqual(lire(installees), origine)
        sortir(partie(HOME=maison))
        self.assertEqual(scores(a_lui), [5, 0, 0, 0, 0])


if __name__ == "__main__":
    unittest.main()
