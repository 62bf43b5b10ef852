#!/usr/bin/python3
"""Click to sound, and the game's length as a player meets it, under Xvfb with a sound thread.

For 200 clicks at each rate (XTest, each released half a period after its
press), the time from the X server's release to the first mixed frame of that
click's sound. Both clocks are CLOCK_MONOTONIC: the server stamps its events
with it in milliseconds (a raw-event witness reads them, and each release's
stamp is checked to fall between the moments the request was sent and
answered), and pressathon_ecoute reports its mixer's record of voice starts.
A game's length runs from its first press, sent as soon as the caption reads
"Pressathon - JOUE", to its count reaching the score file; the five games at
10 clicks a second are timed. SDL's dummy sound driver asks for buffers at a
card's pace. A program that reports no voice starts gets lengths and CPU only.
"""

import argparse
import json
import math
import os
import statistics
import sys
import time

ICI = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, ICI)

from Xlib import X  # noqa: E402
from Xlib.ext import xtest  # noqa: E402

from banc import SCORES, Jeu, ServeurX, Temoin, ms_serveur, temps_cpu  # noqa: E402

# (clicks a second, clicks in each game, games): 200 clicks at each rate.
PLAN = ((10, 40, 5), (50, 200, 1))
VIDE = b"0 0 0 0 0"


def partie(jeu, temoin, cadence, clics):
    """One game from the menu and back: the server's stamps, the clicks sent and counted."""
    jeu.ecrire(SCORES, VIDE)
    temoin.relever()
    jeu.touche("1")
    jeu.attendre_titre("Pressathon - JOUE", pas=0.0005)
    debut, cpu = time.monotonic(), temps_cpu(jeu.processus.pid)
    envoyes, bas, envois = 0, False, []
    while True:
        maintenant = time.monotonic()
        phase = (maintenant - debut) * cadence - envoyes
        if envoyes < clics and not bas and phase >= 0:
            xtest.fake_input(jeu.x, X.ButtonPress, 1)
            jeu.x.sync()
            bas = True
        elif bas and phase >= 0.5:
            xtest.fake_input(jeu.x, X.ButtonRelease, 1)
            jeu.x.sync()
            envois.append((maintenant, time.monotonic()))
            bas = False
            envoyes += 1
        # The first change of the file is the game starting to write its count.
        if jeu.lire(SCORES) != VIDE:
            fin = time.monotonic()
            break
        if maintenant - debut > 20:
            raise RuntimeError("the game never wrote its count")
        time.sleep(0.0005)
    cpu = 100 * (temps_cpu(jeu.processus.pid) - cpu) / (fin - debut)
    vus = temoin.relever()
    jeu.touche("Escape")
    jeu.attendre_titre("Pressathon - HOME")
    # Read once the game is left: that first change may be only the room made
    # for a longer count.
    compte = int(jeu.lire(SCORES).split()[0])
    appuis = [ms_serveur(t, debut) for genre, t, b in vus if genre == Temoin.APPUI and b == 1]
    relaches = [ms_serveur(t, debut) for genre, t, b in vus if genre == Temoin.RELACHE and b == 1]
    # A stamp is whole milliseconds, truncated.
    hors = sum(not (int(avant * 1000) <= r <= apres * 1000)
               for r, (avant, apres) in zip(relaches, envois))
    return {"cadence": cadence, "envoyes": envoyes, "comptes": compte, "relaches": relaches,
            "hors_fenetre": hors + abs(len(relaches) - len(envois)), "debut_ms": appuis[0],
            "fin_ms": 1000 * fin, "cpu": cpu}


def debuts_sons(jeu):
    """The voice starts the program reported (ms), or None if it reports none."""
    jeu.fermer_entree()
    limite = time.monotonic() + 3
    lignes = []
    while lignes[-1:] != ["fin"] and time.monotonic() < limite:
        time.sleep(0.05)
        lignes = jeu.lire("..sortie").decode().split()
    if lignes[:1] != ["releveur"] or lignes[-1:] != ["fin"]:
        return None
    return [1000 * float(ligne) for ligne in lignes[1:-1]]


def quantile(valeurs, q):
    """Nearest rank: the smallest value with at least q of them at or below it."""
    return sorted(valeurs)[math.ceil(q * len(valeurs)) - 1]


def main():
    parametres = argparse.ArgumentParser(description=__doc__)
    parametres.add_argument("--programme", required=True,
                            help="pressathon_ecoute, or any build of the game for lengths alone")
    parametres.add_argument("--donnees", default=os.path.join(os.path.dirname(ICI), "data"))
    parametres.add_argument("--sortie", required=True, help="JSON results")
    a = parametres.parse_args()

    parties = []
    with ServeurX() as serveur, Jeu(serveur, os.path.abspath(a.programme), a.donnees,
                                    env={"SDL_AUDIODRIVER": "dummy"}, entree=True) as jeu:
        temoin = Temoin(serveur.nom)
        try:
            jeu.attendre_titre("Pressathon - HOME")
            jeu.pointer(400, 300)
            for cadence, clics, fois in PLAN:
                for _ in range(fois):
                    parties.append(partie(jeu, temoin, cadence, clics))
                    print("  %d clicks/s: %d sent, %d counted, %.3f s"
                          % (cadence, parties[-1]["envoyes"], parties[-1]["comptes"],
                             (parties[-1]["fin_ms"] - parties[-1]["debut_ms"]) / 1000),
                          file=sys.stderr)
            sons = debuts_sons(jeu)
            erreurs = jeu.stderr().decode(errors="replace")
        finally:
            temoin.fermer()

    resultat = {"durees_s": [(p["fin_ms"] - p["debut_ms"]) / 1000
                             for p in parties if p["cadence"] == PLAN[0][0]],
                "cpu_comptage": [p["cpu"] for p in parties if p["cadence"] == PLAN[0][0]],
                "hors_fenetre": sum(p["hors_fenetre"] for p in parties),
                "stderr": erreurs, "cadences": []}
    for cadence, _, _ in PLAN:
        lot = [p for p in parties if p["cadence"] == cadence]
        entree = {"cadence": cadence, "envoyes": sum(p["envoyes"] for p in lot),
                  "comptes": sum(p["comptes"] for p in lot)}
        if sons is not None:
            latences, entendus = [], 0
            for p in lot:
                # The game's click sounds, in the order of the releases.
                a_eux = [s for s in sons if p["debut_ms"] <= s <= p["fin_ms"]]
                entendus += len(a_eux)
                if len(a_eux) == len(p["relaches"]):
                    latences += [s - r for s, r in zip(a_eux, p["relaches"])]
            entree.update(entendus=entendus, latences_ms=latences)
            if len(latences) == entree["envoyes"]:
                entree.update(mediane=statistics.median(latences), p95=quantile(latences, 0.95),
                              max=max(latences), min=min(latences))
        resultat["cadences"].append(entree)
    with open(a.sortie, "w") as f:
        json.dump(resultat, f, indent=1)
    for c in resultat["cadences"]:
        print("%d/s: %d sent, %d counted" % (c["cadence"], c["envoyes"], c["comptes"])
              + ("; latency median %.1f ms, 95th %.1f, max %.1f"
                 % (c["mediane"], c["p95"], c["max"]) if "mediane" in c else ""))
    print("length: %s s; CPU while counting %s %%; stamps outside the send window: %d"
          % (" ".join("%.3f" % d for d in resultat["durees_s"]),
             " ".join("%.1f" % c for c in resultat["cpu_comptage"]), resultat["hors_fenetre"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
