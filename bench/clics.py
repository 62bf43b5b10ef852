#!/usr/bin/python3
"""How many clicks the real game counts at 20, 50 and 100 clicks a second while the pointer races."""

import argparse
import os
import sys
import time

ICI = os.path.dirname(os.path.abspath(__file__))
RACINE = os.path.dirname(ICI)
sys.path.insert(0, ICI)
DONNEES = os.environ.get("PRESSATHON_DONNEES", os.path.join(RACINE, "data"))

from Xlib import X  # noqa: E402
from Xlib.ext import xtest  # noqa: E402

from banc import SCORES, Jeu, ServeurX, Temoin  # noqa: E402

# Clicks stop this long after the game's caption shows, so that every click
# falls inside the 10 s of game time (which take at least 9.9 s of real time).
DUREE_CLICS = 9.5


def mesurer(serveur, programme, cadence, mouvements_par_s):
    with Jeu(serveur, programme, DONNEES) as partie:
        partie.attendre_titre("Pressathon - HOME")
        mains = partie.x
        temoin = Temoin(serveur.nom)
        ox, oy = partie.origine()

        partie.touche("1")
        partie.attendre_titre("Pressathon - JOUE")
        debut = time.monotonic()
        temoin.relever()
        vus = []

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
                vus += temoin.relever()
                prochain_releve = maintenant + 0.01
                # A game that counted nothing leaves the file as it was.
                if partie.lire(SCORES) != b"0 0 0 0 0" or ecoule > 20:
                    break
            time.sleep(0.0005)
        mains.sync()
        vus += temoin.relever()
        duree = maintenant - debut
        partie.touche("Escape")
        partie.attendre_titre("Pressathon - HOME")
        # Read once the game is left: the change seen may be the room the
        # game makes in the file before it writes a longer count.
        compte = int(partie.lire(SCORES).split()[0])
        erreurs = partie.stderr()
        temoin.fermer()
        return {
            "cadence": cadence,
            "envoyes": clics_envoyes,
            "vus": sum(genre == Temoin.APPUI for genre, _, _ in vus),
            "comptes": compte,
            "mouvements": sum(genre == Temoin.MOUVEMENT for genre, _, _ in vus) / duree,
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
