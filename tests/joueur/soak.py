#!/usr/bin/python3
"""Random input on the real game for a given time: keys, clicks, pointer moves and close
requests from one XTest client, the game restarted whenever it ends. Fails on a crash,
an exit status other than 0, anything on stderr, a game that will not end when asked,
or memory that keeps growing from one visit of the menu to the next."""

import argparse
import os
import random
import statistics
import sys
import time

from Xlib import X, XK
from Xlib.error import XError
from Xlib.ext import xtest

from fiabilite_outils import ACCUEIL, CREDITS, JEU, PartieSure, programme
from session import ServeurX

AUTRES_TOUCHES = ["a", "z", "space", "Return", "BackSpace", "Tab", "F1", "Left", "Up",
                  "5", "0", "KP_5", "KP_Enter", "Shift_L", "Control_L"]
ECRANS = ["1", "2", "3", "KP_1", "KP_2", "KP_3"]
SORTIES = ["4", "KP_4"]


def memoire(pid, champ="VmRSS"):
    """A memory figure of the process in kB, or None once it is gone."""
    try:
        with open("/proc/%d/status" % pid) as etat:
            for ligne in etat:
                if ligne.startswith(champ + ":"):
                    return int(ligne.split()[1])
    except OSError:
        pass
    return None


def croissance(echantillons, chauffe=4):
    """Growth in kB from the early visits of the menu to the late ones: medians of the
    first and last thirds, leaving out the first visits, which load the libraries'
    caches (fonts, the sound bank, the renderer) once for all."""
    echantillons = echantillons[chauffe:]
    if len(echantillons) < 9:
        return None
    tiers = len(echantillons) // 3
    return statistics.median(echantillons[-tiers:]) - statistics.median(echantillons[:tiers])


class Mains:
    """The one X client that plays: XTest keys, buttons and motion, and close requests."""

    def __init__(self, serveur, hasard):
        self.x = serveur.x
        self.hasard = hasard
        self.envois = 0

    def _code(self, nom):
        return self.x.keysym_to_keycode(XK.string_to_keysym(nom))

    def touche(self, nom):
        code = self._code(nom)
        xtest.fake_input(self.x, X.KeyPress, code)
        xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()
        self.envois += 1

    def viser(self, partie):
        """The pointer somewhere in the window; the keyboard follows the window."""
        fenetre = partie._fenetre()
        geometrie = fenetre.get_geometry()
        origine = fenetre.translate_coords(self.x.screen().root, 0, 0)
        x = -origine.x + self.hasard.randrange(geometrie.width)
        y = -origine.y + self.hasard.randrange(geometrie.height)
        xtest.fake_input(self.x, X.MotionNotify, x=x, y=y)
        fenetre.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.x.sync()
        self.envois += 1

    def clic(self):
        bouton = self.hasard.choice([1, 1, 1, 2, 3])
        xtest.fake_input(self.x, X.ButtonPress, bouton)
        # Now and then a button held across a few other events.
        if self.hasard.random() < 0.9:
            xtest.fake_input(self.x, X.ButtonRelease, bouton)
        else:
            self.x.sync()
            time.sleep(self.hasard.uniform(0.05, 0.5))
            xtest.fake_input(self.x, X.ButtonRelease, bouton)
        self.x.sync()
        self.envois += 1

    def geste(self, partie, titre):
        """One random gesture; True when it changes screens. Leaving the program is rare,
        so that each run comes back to the menu many times."""
        tirage = self.hasard.random()
        dans_menu = titre == ACCUEIL
        if tirage < 0.32:
            self.viser(partie)
        elif tirage < 0.62:
            self.clic()
        elif tirage < 0.78:
            self.touche(self.hasard.choice(AUTRES_TOUCHES))
        elif tirage < 0.92:
            self.touche(self.hasard.choice(ECRANS))
            return dans_menu
        elif tirage < 0.999 and dans_menu:
            self.touche(self.hasard.choice(AUTRES_TOUCHES))
        elif tirage < 0.97:
            self.touche("Escape")
            return True
        elif tirage < 0.999:
            partie.fermer()
            self.envois += 1
            return True
        else:
            # A way out of the program, whatever the screen: 4 only acts in the menu,
            # and what the title says may be a step behind the game.
            self.touche(self.hasard.choice(SORTIES + ["Escape"]))
            return True
        return False


def terminer(partie, mains):
    """Asks the running game to end through the credits; returns its exit status."""
    limite = time.monotonic() + 30
    while partie.processus.poll() is None and time.monotonic() < limite:
        titre = partie.titre()
        if titre is not None:
            try:
                mains.viser(partie)
            except XError:
                pass
            mains.touche("Escape")
        time.sleep(0.3 if titre != CREDITS else 0.1)
    return partie.processus.poll()


def main():
    arguments = argparse.ArgumentParser(description=__doc__)
    arguments.add_argument("secondes", type=float, nargs="?", default=60)
    arguments.add_argument("--graine", type=int, default=int(time.time()))
    arguments.add_argument("--tolerance-mo", type=float, default=8.0,
                           help="allowed growth of the resident memory, in MB")
    options = arguments.parse_args()
    hasard = random.Random(options.graine)
    print("soak: %.0f s, seed %d, program %s" % (options.secondes, options.graine,
                                                  os.environ.get("PRESSATHON_PROGRAMME")))

    fautes = []
    executions = 0
    pic = 0
    visites = 0
    croissances = []
    fin = time.monotonic() + options.secondes
    with ServeurX() as serveur:
        mains = Mains(serveur, hasard)
        while time.monotonic() < fin and not fautes:
            executions += 1
            with PartieSure(serveur, programme=programme()) as partie:
                echantillons = []
                precedent = None
                try:
                    partie.attendre(partie.titre, 60, "the window")
                    while partie.processus.poll() is None and time.monotonic() < fin:
                        titre = partie.titre()
                        if titre is None:
                            time.sleep(0.02)
                            continue
                        if titre == ACCUEIL and precedent not in (ACCUEIL, CREDITS):
                            # The menu is shown again: the screens before it have
                            # released all they held.
                            time.sleep(0.1)
                            rss = memoire(partie.processus.pid)
                            if rss is not None:
                                echantillons.append(rss)
                                visites += 1
                        precedent = titre
                        pic = max(pic, memoire(partie.processus.pid, "VmHWM") or 0)
                        try:
                            if mains.geste(partie, titre):
                                # Gestures that change screens wait for the change, so
                                # that the next one is meant for the screen it reaches.
                                partie.attendre(lambda: partie.titre() != titre, 2.0)
                        except AssertionError:
                            pass
                        except XError:
                            # The window went away under the gesture: the game
                            # ended, or changed its window.
                            pass
                        time.sleep(hasard.uniform(0.005, 0.04 if titre == JEU else 0.015))
                except (AssertionError, OSError) as erreur:
                    if partie.processus.poll() is None:
                        fautes.append("run %d: %s" % (executions, erreur))
                pic = max(pic, memoire(partie.processus.pid, "VmHWM") or 0)
                statut = terminer(partie, mains)
                erreurs = partie.stderr()
                if statut is None:
                    fautes.append("run %d: the game did not end when asked" % executions)
                elif statut != 0:
                    fautes.append("run %d: exit status %d" % (executions, statut))
                if erreurs:
                    fautes.append("run %d: stderr:\n%s" % (executions,
                                                         erreurs.decode("latin-1")[:4000]))
                hausse = croissance(echantillons)
                if hausse is not None:
                    croissances.append(hausse)
                    if hausse > options.tolerance_mo * 1024:
                        fautes.append("run %d: memory grew by %.1f MB over %d menu visits: %s"
                                      % (executions, hausse / 1024, len(echantillons),
                                         echantillons))

    print("soak: %d runs, %d events sent, %d menu visits, peak RSS %.1f MB"
          % (executions, mains.envois, visites, pic / 1024))
    if croissances:
        print("soak: RSS growth from early to late menu visits, per run long enough "
              "to judge: max %.1f MB, median %.1f MB over %d runs"
              % (max(croissances) / 1024, statistics.median(croissances) / 1024,
                 len(croissances)))
    for faute in fautes:
        print("soak: FAILURE " + faute)
    return 1 if fautes else 0


if __name__ == "__main__":
    sys.exit(main())
