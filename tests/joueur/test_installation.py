#!/usr/bin/python3
"""The installed game: its files, its menu entry, the launcher, each player's own scores."""

import filecmp
import glob
import os
import shutil
import subprocess
import tempfile
import unittest

from PIL import Image

from session import Partie, ServeurX

BUILD = os.environ.get("PRESSATHON_BUILD", "../../build")
SOURCES = os.environ.get("PRESSATHON_SOURCES", "../..")
DONNEES_SOURCES = os.path.join(SOURCES, "data")
PREPARES = ["IMG", "MUSIC", "SFX", "highscores.tallyvault", "journal.ttf"]
# The font is the game's own modified copy, for it alone: not one of the system's fonts.
LINTIAN_ACCEPTE = ["I: pressathon: font-%s [usr/share/games/pressathon/journal.ttf]" % etiquette
                   for etiquette in ("in-non-font-package", "outside-font-dir")]


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

    def test_the_tree_holds_the_program_the_data_the_icons_and_the_documentation(self):
        p = self.prefixe
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
        for nom in ("doc/pressathon/LICENCES.md", "doc/pressathon/journal.LICENSE.txt",
                    "man/man6/pressathon.6", "man/fr/man6/pressathon.6"):
            self.assertTrue(os.path.isfile(os.path.join(p, "share", nom)), nom)
        for taille in (32, 48, 64, 128, 256):
            with Image.open(os.path.join(p, "share/icons/hicolor/%dx%d/apps/pressathon.png"
                                         % (taille, taille))) as image:
                self.assertEqual(image.size, (taille, taille))

    def test_the_menu_entry_the_metainfo_and_the_launcher_pass_their_validators(self):
        for outil, *arguments in (
                ("desktop-file-validate", "share/applications/pressathon.desktop"),
                ("appstreamcli", "validate", "--no-net",
                 "share/metainfo/fr.pressathon.pressathon.metainfo.xml"),
                ("shellcheck", "bin/pressathon")):
            with self.subTest(outil=outil):
                if shutil.which(outil) is None:
                    self.skipTest("%s is not installed (Debian packages desktop-file-utils, "
                                  "appstream, shellcheck)" % outil)
                resultat = subprocess.run([outil, *arguments], cwd=self.prefixe,
                                          capture_output=True, timeout=60)
                self.assertEqual(resultat.returncode, 0,
                                 (resultat.stdout + resultat.stderr).decode(errors="replace"))
                if outil == "desktop-file-validate":
                    # It prints hints and warnings even when it succeeds.
                    self.assertEqual(resultat.stdout + resultat.stderr, b"")

    def copie_temoin(self):
        """A copy of the installation, elsewhere, whose program only reports where it started."""
        copie = os.path.join(self.dossier_temporaire(), "ailleurs")
        shutil.copytree(self.prefixe, copie, symlinks=True)
        ecrire(os.path.join(copie, "libexec/pressathon/pressathon"),
               b'#!/bin/sh\npwd -P > "${TEMOIN:-/dev/null}"\nexit 7\n')
        return copie

    def lancer(self, commande, **variables):
        """Started from /: the launcher must not depend on where it is started."""
        env = {cle: valeur for cle, valeur in os.environ.items()
               if cle not in ("HOME", "XDG_DATA_HOME", "DISPLAY")}
        return subprocess.Popen([commande], cwd="/", env=dict(env, **variables),
                                stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def resultat(self, lance):
        _, erreurs = lance.communicate(timeout=30)
        return lance.returncode, erreurs

    def test_the_launcher_prepares_the_players_directory_once_and_runs_the_program_there(self):
        copie = self.copie_temoin()
        temoin = os.path.join(self.dossier_temporaire(), "temoin")
        maison = self.dossier_temporaire()
        dossier = os.path.join(maison, ".local/share/pressathon")
        installees = os.path.realpath(os.path.join(copie, "share/pressathon"))

        def lancer(commande=os.path.join(copie, "bin/pressathon"), **variables):
            return self.resultat(self.lancer(commande, TEMOIN=temoin, **variables))

        # A relative XDG_DATA_HOME is not a place: HOME decides. Started by a
        # relative path with CDPATH set, which must not lead cd astray.
        self.assertEqual(lancer(os.path.relpath(os.path.join(copie, "bin/pressathon"), "/"),
                                CDPATH="/", HOME=maison, XDG_DATA_HOME="relatif"), (7, b""))
        self.assertEqual(lire(temoin).decode().strip(), os.path.realpath(dossier))
        self.assertEqual(os.stat(dossier).st_mode & 0o777, 0o700)
        self.assertEqual(sorted(os.listdir(dossier)), PREPARES)
        for nom in ("IMG", "MUSIC", "SFX", "journal.ttf"):
            self.assertEqual(os.readlink(os.path.join(dossier, nom)),
                             os.path.join(installees, nom))
        copie_scores = os.path.join(dossier, "highscores.tallyvault")
        self.assertFalse(os.path.islink(copie_scores))
        self.assertEqual(lire(copie_scores), lire(os.path.join(installees, PREPARES[3])))

        # Later runs keep what the player has: scores, other files, the
        # directory, links already right.
        ecrire(copie_scores, b"42 7 0 0 0")
        ecrire(os.path.join(dossier, "a-moi"), b"x")
        os.remove(os.path.join(dossier, "SFX"))
        os.mkdir(os.path.join(dossier, "SFX"))
        avant = os.stat(dossier).st_ino, os.lstat(os.path.join(dossier, "IMG")).st_ino
        self.assertEqual(lancer(HOME=maison), (7, b""))
        self.assertEqual(lire(copie_scores), b"42 7 0 0 0")
        self.assertEqual(sorted(os.listdir(dossier)), sorted(PREPARES + ["a-moi"]))
        self.assertEqual((os.stat(dossier).st_ino, os.lstat(os.path.join(dossier, "IMG")).st_ino),
                         avant)
        self.assertFalse(os.path.islink(os.path.join(dossier, "SFX")))

        # No place for the player's directory, or one that is not theirs
        # alone: a message, status 1, no program.
        os.remove(temoin)
        def dossier(mode, proprietaire=-1):
            return lambda chemin: (os.mkdir(chemin), os.chmod(chemin, mode),
                                   os.chown(chemin, proprietaire, -1))

        for cas, preparer in (("no HOME", None), ("a file in the way", lambda c: ecrire(c, b"")),
                              ("writable by the group", dossier(0o770)),
                              ("writable by all", dossier(0o707)),
                              ("someone else's", dossier(0o700, 65534))):
            with self.subTest(cas=cas):
                if cas == "someone else's" and os.geteuid() != 0:
                    self.skipTest("giving a directory to another user needs root")
                base = self.dossier_temporaire()
                if preparer:
                    preparer(os.path.join(base, "pressathon"))
                code, erreurs = lancer(**({"XDG_DATA_HOME": base} if preparer else {}))
                self.assertEqual((code, erreurs[:13]), (1, b"pressathon : "), erreurs)
                self.assertFalse(os.path.exists(temoin))

    def test_simultaneous_launches_all_start_and_write_nothing_into_the_installed_tree(self):
        # The installed tree is the player's own (a --prefix ~/.local), and half
        # the players still have links to an older installation.
        copie, ancienne = self.copie_temoin(), self.copie_temoin()

        def inventaire():
            return sorted((racine, sorted(noms), sorted(fichiers)) for arbre in (copie, ancienne)
                          for racine, noms, fichiers in os.walk(arbre))

        avant = inventaire()
        for paire in range(50):
            dossier = os.path.join(self.dossier_temporaire(), "pressathon")
            if paire % 2:
                os.mkdir(dossier, 0o700)
                for nom in ("IMG", "MUSIC", "SFX", "journal.ttf"):
                    os.symlink(os.path.join(ancienne, "share/pressathon", nom),
                               os.path.join(dossier, nom))
            for lance in [self.lancer(os.path.join(copie, "bin/pressathon"),
                                      XDG_DATA_HOME=os.path.dirname(dossier)) for _ in range(2)]:
                self.assertEqual(self.resultat(lance), (7, b""), "pair %d" % paire)
            self.assertEqual(os.path.realpath(os.path.join(dossier, "IMG")),
                             os.path.realpath(os.path.join(copie, "share/pressathon/IMG")))
            self.assertEqual(sorted(os.listdir(dossier)), PREPARES)
        self.assertEqual(inventaire(), avant)

    def test_each_player_keeps_their_own_scores_across_games_and_upgrades(self):
        installees = os.path.join(self.prefixe, "share/pressathon/highscores.tallyvault")
        origine = lire(installees)
        # Started as the menu entry starts it: the command on the PATH.
        self.assertIn(b"\nExec=pressathon\n",
                      lire(os.path.join(self.prefixe, "share/applications/pressathon.desktop")))
        commande = os.path.join(self.prefixe, "bin/pressathon")
        serveur = ServeurX().__enter__()
        self.addCleanup(serveur.__exit__, None, None, None)

        def jouer(donnees, clics=0):
            with Partie(serveur, commande=[commande], env={"XDG_DATA_HOME": donnees}) as jeu:
                jeu.attendre_titre("Pressathon - HOME", 15)
                if clics:
                    jeu.touche("1")
                    jeu.attendre_titre("Pressathon - JOUE")
                    jeu.clic(clics)
                    # The file is rewritten in place: a read may meet it empty for a moment.
                    jeu.attendre(lambda: (scores(os.path.join(donnees, "pressathon", PREPARES[3]))
                                          or [0])[0] > 0, 20, "the score in the player's file")
                    jeu.touche("Escape")
                    jeu.attendre_titre("Pressathon - HOME")
                jeu.touche("Escape")
                jeu.attendre_titre("Pressathon - CREDITS")
                jeu.touche("Escape")
                self.assertEqual(jeu.attendre_fin(10), 0)
                self.assertEqual(jeu.stderr(), b"")
            return scores(os.path.join(donnees, "pressathon", PREPARES[3]))

        # A player plays a game of five clicks; an upgrade rewrites the
        # installed files, not the player's.
        lui = self.dossier_temporaire()
        self.assertEqual(jouer(lui, 5), [5, 0, 0, 0, 0])
        ecrire(installees, b"9 9 9 9 9")
        installer(self.prefixe)
        self.assertEqual(lire(installees), origine)
        self.assertEqual(jouer(lui), [5, 0, 0, 0, 0])

    def test_the_debian_package_builds_passes_lintian_and_runs_from_usr_games(self):
        # The sources as they stand, without any build: the package is built
        # from nothing, inside and beside that copy.
        sources = os.path.join(self.dossier_temporaire(), "pressathon")
        os.mkdir(sources)
        subprocess.run('git ls-files -z -co --exclude-standard | tar -c --null -T - '
                       '--ignore-failed-read | tar -x -C "$COPIE"', shell=True, check=True,
                       cwd=SOURCES, env=dict(os.environ, COPIE=sources))
        manque = subprocess.run("dpkg-checkbuilddeps", shell=True, cwd=sources,
                                capture_output=True)
        if manque.returncode != 0:
            self.skipTest("dpkg-buildpackage cannot run: %s" % manque.stderr.decode().strip())
        construction = subprocess.run(
            ["dpkg-buildpackage", "-us", "-uc", "-b", "-j2"], cwd=sources, capture_output=True,
            timeout=240, env=dict(os.environ, DEB_BUILD_OPTIONS="nocheck noddebs",
                                  DEBFULLNAME="Testeur", DEBEMAIL="testeur@pressathon.invalid"))
        self.assertEqual(construction.returncode, 0, construction.stderr[-3000:])
        paquet, = glob.glob(os.path.join(os.path.dirname(sources), "pressathon_*.deb"))
        champ = subprocess.run(["dpkg-deb", "-f", paquet, "Maintainer"], capture_output=True)
        self.assertEqual(champ.stdout, b"Testeur <testeur@pressathon.invalid>\n")
        lintian = subprocess.run(["lintian", "--pedantic", "--display-info", paquet],
                                 capture_output=True, text=True, timeout=120)
        self.assertEqual((lintian.returncode, [ligne for ligne in lintian.stdout.splitlines()
                                                if ligne not in LINTIAN_ACCEPTE]), (0, []))
        # Its command, in /usr/games, finds the program and the data.
        arbre = os.path.join(self.dossier_temporaire(), "arbre")
        subprocess.run(["dpkg-deb", "-x", paquet, arbre], check=True)
        ecrire(os.path.join(arbre, "usr/libexec/pressathon/pressathon"),
               b"#!/bin/sh\nls -L IMG MUSIC SFX journal.ttf >/dev/null && exit 7\n")
        lance = self.lancer(os.path.join(arbre, "usr/games/pressathon"),
                            XDG_DATA_HOME=self.dossier_temporaire())
        self.assertEqual(self.resultat(lance), (7, b""))


if __name__ == "__main__":
    unittest.main()
