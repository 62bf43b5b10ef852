#!/usr/bin/python3
"""How many clicks the real game counts at 20, 50 and 100 clicks a second while the pointer races."""

import argparse
import os
import sys
import time

ICI = os.path.dirname(os.path.abspath(__file__))
RACINE = os.path.dirname(ICI)
sys.path.insert(0, os.path.join(RACINE, "tests", "joueur"))
os.environ.setdefault("PRESSATHON_DONNEES", os.path.join(RACINE, "data"))

from Xlib import X, display  # noqa: E402
from Xlib.ext import xinput, xtest  # noqa: E402

from session import Partie, ServeurX  # noqa: E402

SCORES = "highscores.tallyvault"
# Clicks stop this long after the game's caption shows, so that every click
# falls inside the 10 s of game time (which take at least 9.9 s of real time).
DUREE_CLICS = 9.5


class Temoin:
    """A second X client that counts the motions and clicks the server generated.

    Raw input events reach it whatever grab is active, so the count includes
    the motions made while a button is held (those only the game sees)."""

    def __init__(self, nom):
        self.x = display.Display(nom)
        # From version 2.2 on, raw events ignore grabs; python-xlib asks for 2.0.
        xinput.XIQueryVersion(display=self.x.display,
                              opcode=self.x.display.get_extension_major(xinput.extname),
                              major_version=2, minor_version=2)
        # The master pointer only: its XTest slave would report each event again.
        self.x.screen().root.xinput_select_events([
            (xinput.AllMasterDevices,
             xinput.RawMotionMask | xinput.RawButtonPressMask | xinput.RawButtonReleaseMask)])
        self.x.sync()
        self.mouvements = 0
        self.appuis = 0

    def relever(self):
        while self.x.pending_events():
            evenement = self.x.next_event()
            genre = getattr(evenement, "evtype", None)
            if genre == xinput.RawMotion:
                self.mouvements += 1
            elif genre == xinput.RawButtonPress:
                self.appuis += 1

    def fermer(self):
        self.x.close()


def mesurer(serveur, programme, cadence, mouvements_par_s):
    with Partie(serveur, fichiers={SCORES: b"0 0 0 0 0"}, programme=programme) as partie:
        partie.attendre_titre("Pressathon - HOME")
        mains = display.Display(serveur.nom)
        racine = mains.screen().root
        temoin = Temoin(serveur.nom)
        fenetre = mains.create_resource_object("window", partie.id_fenetre)
        origine = fenetre.translate_coords(racine, 0, 0)
        ox, oy = -origine.x, -origine.y

        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        debut = time.monotonic()
        temoin.relever()
        temoin.mouvements = temoin.appuis = 0

        clics_envoyes = mouvements_envoyes = 0
        bouton_bas = False
        prochain_releve = debut
        while True:
            maintenant = time.monotonic()
            ecoule = maintenant - debut
            # Everything that is due, in time order: motions, then the click.
            while mouvements_envoyes < ecoule * mouvements_par_s:
                k = mouvements_envoyes
                # A path over the middle of the window; two motions in a row
                # never land on the same pixel.
                x = ox + 100 + (k * 7) % 600
                y = oy + 100 + (k * 13) % 400
                xtest.fake_input(mains, X.MotionNotify, x=x, y=y)
                mouvements_envoyes += 1
            if ecoule < DUREE_CLICS or bouton_bas:
                # Each click is a press and, half a period later, its release.
                phase = ecoule * cadence - clics_envoyes
                if not bouton_bas and phase >= 0 and ecoule < DUREE_CLICS:
                    xtest.fake_input(mains, X.ButtonPress, 1)
                    bouton_bas = True
                elif bouton_bas and phase >= 0.5:
                    xtest.fake_input(mains, X.ButtonRelease, 1)
                    bouton_bas = False
                    clics_envoyes += 1
            mains.flush()
            if maintenant >= prochain_releve:
                # The server is kept in step with the pace, and the game's end
                # is watched: its count reaches the file when the time is up.
                mains.sync()
                temoin.relever()
                prochain_releve = maintenant + 0.01
                # A game that counted nothing leaves the file as it was.
                if partie.lire(SCORES) != b"0 0 0 0 0" or ecoule > 20:
                    break
            time.sleep(0.0005)
        mains.sync()
        temoin.relever()
        duree = maintenant - debut
        compte = int(partie.lire(SCORES).split()[0])
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        erreurs = partie.stderr()
        temoin.fermer()
        mains.close()
        return {
            "cadence": cadence,
            "envoyes": clics_envoyes,
            "vus": temoin.appuis,
            "comptes": compte,
            "mouvements": temoin.mouvements / duree,
            "duree": duree,
            "stderr": erreurs,
        }


def main():
    parametres = argparse.ArgumentParser(description=__doc__)
    parametres.add_argument("programme", nargs="?",
                            default=os.environ.get("PRESSATHON_PROGRAMME",
                                                   os.path.join(RACINE, "build", "pressathon")))
    parametres.add_argument("--cadences", default="20,50,100",
                            help="clicks per second, comma-separated")
    parametres.add_argument("--mouvements", type=int, default=1200,
                            help="pointer motions per second asked for")
    arguments = parametres.parse_args()
    programme = os.path.abspath(arguments.programme)

    resultats = []
    with ServeurX() as serveur:
        for cadence in (int(c) for c in arguments.cadences.split(",")):
            resultats.append(mesurer(serveur, programme, cadence, arguments.mouvements))
            r = resultats[-1]
            print("  %d clicks/s done: %d sent, %d counted" % (cadence, r["envoyes"],
                                                             r["comptes"]), file=sys.stderr)

    print("| clicks/s | sent | seen by X | counted | counted/sent | motions/s | game s |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for r in resultats:
        print("| %d | %d | %d | %d | %.1f %% | %.0f | %.2f |" % (
            r["cadence"], r["envoyes"], r["vus"], r["comptes"],
            100.0 * r["comptes"] / max(1, r["envoyes"]), r["mouvements"], r["duree"]))
    bruit = [r["stderr"] for r in resultats if r["stderr"]]
    if bruit:
        print("stderr of the game:", bruit, file=sys.stderr)
    manques = [r["cadence"] for r in resultats if r["comptes"] != r["envoyes"]]
    print("every click counted" if not manques else
          "clicks lost at %s clicks/s" % ", ".join(map(str, manques)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
