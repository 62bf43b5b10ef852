#!/usr/bin/python3
"""Many whole sessions at once, each on its own X server, for the reliability tests."""

import concurrent.futures
import os
import re
import signal
import stat
import subprocess
import tempfile
import time

from PIL import Image

from session import Partie, ServeurX, ecart, sans_fuites
from session import programme_joueur as programme

ACCUEIL = "Pressathon - HOME"
JEU = "Pressathon - JOUE"
SCORES = "Pressathon - HIGHSCORES"
REGLES = "Pressathon - INSTRUCTIONS"
CREDITS = "Pressathon - CREDITS"
FICHIER = "highscores.tallyvault"

MESSAGE_LECTURE = ("Erreur Fichier: Ouverture du fichier \xe9chou\xe9e lors de la "
                   "r\xe9cup\xe9ration des HighScores").encode("latin-1")
MESSAGE_SAUVEGARDE = ("Erreur Fichier: Ouverture du fichier \xe9chou\xe9e lors de la "
                      "sauvegarde des HighScores").encode("latin-1")

# A sanitizer-built program starts slowly on a busy machine.
DEMARRAGE = 40.0


class PartieSure(Partie):
    """A game that can be told to draw a frame."""

    def redessiner(self, x=700, y=500):
        """Screens that wait for events draw when one comes: move the pointer."""
        self.bouger(x, y)
        self.bouger(x - 3, y - 3)
        time.sleep(0.4)


def table_ecrite(contenu):
    """The five numbers of a file in the writer's own form, or None."""
    if not re.fullmatch(rb"-?\d+( -?\d+){4}", contenu):
        return None
    return tuple(int(n) for n in contenu.split())


def messages(erreurs):
    """Splits stderr into the known messages; None if anything else is in it."""
    trouves = []
    reste = erreurs
    while reste:
        for message in (MESSAGE_SAUVEGARDE, MESSAGE_LECTURE):
            if reste.startswith(message):
                trouves.append(message)
                reste = reste[len(message):]
                break
        else:
            return None
    return trouves


def blanc(image, boite):
    """Mean distance of a box from plain white."""
    return ecart(image, Image.new("RGB", image.size, (255, 255, 255)), boite)


class Session:
    """One game on its own X server, stopped and cleaned up when the block ends."""

    def __init__(self, **options):
        self.options = dict(options)
        self.options["programme"] = options.get("programme") or programme()

    def __enter__(self):
        self.serveur = ServeurX().__enter__()
        try:
            self.partie = PartieSure(self.serveur, **self.options)
        except BaseException:
            self.serveur.__exit__(None, None, None)
            raise
        return self.partie

    def __exit__(self, *erreur):
        try:
            self.partie.__exit__(*erreur)
        finally:
            self.serveur.__exit__(*erreur)


def aller(partie, touche, titre, delai=15.0):
    partie.touche(touche)
    partie.attendre_titre(titre, delai)


def finir(partie):
    """Leaves through the credits and returns the exit status."""
    aller(partie, "Escape", CREDITS)
    partie.touche("Escape")
    return partie.attendre_fin(30)


def jouer_partie(partie, clics, fini, delai=30.0):
    """Plays one game with a few clicks until fini() says its time is up, then leaves it."""
    aller(partie, "1", JEU)
    debut = time.monotonic()
    time.sleep(0.5)
    partie.clic(400, 300, clics)
    partie.attendre(fini, delai, "the end of the game")
    # A few finished passes more, so that the score is submitted again.
    time.sleep(0.3)
    aller(partie, "Escape", ACCUEIL)
    return time.monotonic() - debut


def fichier_change(partie, avant):
    def condition():
        try:
            return partie.lire(FICHIER) != avant
        except OSError:
            return False
    return condition


def lanceur(dossier, nom, commandes, prefixe="", cible=None):
    """A launcher run in the game's folder: shell commands, then the program in their place
    (same process, so stopping it stops the game)."""
    chemin = os.path.join(dossier, nom)
    with open(chemin, "w") as sortie:
        sortie.write('#!/bin/sh\n%s\nexec %s"%s"\n'
                     % (commandes, prefixe, cible or programme()))
    os.chmod(chemin, stat.S_IRWXU)
    return chemin


def lanceur_lecture_seule(dossier):
    """The score file made read-only for the game, even run as root: the program runs
    without the capabilities that bypass file permissions."""
    return lanceur(dossier, "lecture-seule.sh", "chmod 444 " + FICHIER,
                   "setpriv --bounding-set=-dac_override,-dac_read_search -- ")


def lanceur_dossier(dossier):
    """A directory where the score file should be."""
    return lanceur(dossier, "dossier.sh", "rm -f %s && mkdir %s" % (FICHIER, FICHIER))


def en_parallele(travaux, ouvriers):
    """Runs name -> function pairs on a pool; returns name -> future."""
    pool = concurrent.futures.ThreadPoolExecutor(ouvriers)
    futurs = {nom: pool.submit(travail) for nom, travail in travaux}
    pool.shutdown(wait=False)
    return futurs


def dossier_temporaire():
    return tempfile.mkdtemp(prefix="pressathon-fiabilite-")


def tuer(partie):
    os.killpg(partie.processus.pid, signal.SIGKILL)
    partie.processus.wait(10)
