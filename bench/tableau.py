#!/usr/bin/python3
"""Prints the one table of bench/run.sh from the results it gathered in a directory."""

import json
import os
import re
import statistics
import sys

TAMPON_MS = 512 / 44100 * 1000  # one device buffer of real time
MO = 1024.0


def charger(dossier, nom):
    chemin = os.path.join(dossier, nom)
    if not os.path.exists(chemin):
        return None
    with open(chemin) as f:
        return json.load(f)


def oui(tenu):
    return "yes" if tenu else "**NO**"


def lignes_audio(audio):
    lignes = []
    if audio is None:
        return [("Mixing one 512-frame buffer", "not run", "", "", "")]
    par_nom = {}
    for b in audio["benchmarks"]:
        if b.get("run_type") == "iteration" and not b.get("error_occurred"):
            par_nom.setdefault(b["run_name"], []).append(b)
    for nom, essais in par_nom.items():
        if nom.startswith("pireMorceau/"):
            genre = nom.split("/")[1]
            pires = [e["pire_tampon_us"] for e in essais]
            pire = statistics.median(pires)
            quoi = {"notes": "note-ons stealing voices", "sysex": "system-exclusive resets",
                    "boucle": "the shortest loop, parsed anew each pass"}.get(genre, genre)
            lignes.append(("Slowest buffer of the costliest song accepted: %s" % quoi,
                           "%.0f us = %.1f %% (median of %d; %.0f-%.0f)"
                           % (pire, 100 * pire / 1000 / TAMPON_MS, len(pires), min(pires),
                              max(pires)),
                           "", "<= 1161 us (10 %)", oui(pire <= TAMPON_MS * 100)))
            continue
        cpu = [e["cpu_time"] for e in essais]
        reel = [e["real_time"] for e in essais]
        mediane = statistics.median(cpu)
        part = 100 * mediane / 1000 / TAMPON_MS
        _, chanson, voix = nom.split("/")
        cible = "info" if chanson == "menu" else "<= 232 us (2 %)"
        if chanson == "menu":
            quoi = "Mixing, menu song alone (a core's share with a device)"
        else:
            quoi = "Mixing a buffer, %s song, %s voices" % (
                "dense GM" if chanson == "dense" else "jeu01.mid", voix)
        lignes.append((quoi,
                       "%.0f us = %.2f %% (CPU median of %d; min-max %.0f-%.0f; wall median %.0f)"
                       % (mediane, part, len(cpu), min(cpu), max(cpu), statistics.median(reel)),
                       "", cible, "info" if chanson == "menu" else oui(part <= 2.0)))
    attaque = audio.get("context", {}).get("attaque_clic", "not run")
    lignes.append(("Click started by FSOUND_PlaySound, in the next buffer", attaque, "",
                   "in the very next buffer", oui(attaque.startswith("OK"))))
    return lignes


def lignes_programme(p):
    if p is None:
        return [("Whole program", "not run", "", "", "")]
    lignes = []
    d = p["demarrage"]

    def serie(valeurs):
        return "%.0f ms (median of %d; %.0f-%.0f)" % (statistics.median(valeurs), len(valeurs),
                                                      min(valeurs), max(valeurs))

    carte, carte_nue = (statistics.median(d["carte_ms"][n]) for n in ("jeu", "nue"))
    lignes.append(("Start-up: exec to the window visible (mapped)", serie(d["carte_ms"]["jeu"]),
                   serie(d["carte_ms"]["nue"]),
                   "<= bare + 30 ms (+%.0f ms here)" % (carte - carte_nue),
                   oui(carte - carte_nue <= 30)))
    jeu, nue = statistics.median(d["ms"]["jeu"]), statistics.median(d["ms"]["nue"])
    lignes.append(("Start-up: exec to the first menu frame on screen", serie(d["ms"]["jeu"]),
                   serie(d["ms"]["nue"]), "<= bare + 40 ms (+%.0f ms here)" % (jeu - nue),
                   oui(jeu - nue <= 40)))
    if d.get("musique_ms"):
        image = d["ms"]["son"]
        apres = [m - i for m, i in zip(d["musique_ms"], image)]
        retard = statistics.median(apres)
        lignes.append(("Start-up with a sound device (dummy driver): exec to the first "
                       "non-silent buffer of the menu song",
                       "%s; first frame %s; song %.0f ms after it (%.0f-%.0f)"
                       % (serie(d["musique_ms"]), serie(image), retard, min(apres), max(apres)),
                       "", "<= 150 ms after the first frame", oui(retard <= 150)))
    if "session" not in p:
        return lignes
    s, r = p["session"], p["reference"]
    lignes.append(("Peak memory (VmHWM) of a whole session",
                   "%.1f MB (kernel's maxrss %.1f MB)" % (s["vmhwm_kb"] / MO,
                                                          s["maxrss_kb"] / MO),
                   "%.1f MB" % (r["vmhwm_kb"] / MO),
                   "<= bare + 30 MB (+%.1f MB here)" % ((s["vmhwm_kb"] - r["vmhwm_kb"]) / MO),
                   oui(s["vmhwm_kb"] - r["vmhwm_kb"] <= 30 * 1024)))

    def cpu(m):
        return "%.2f %% (fine: %.2f %%)" % (m["cpu"], m["cpu_fin"])

    menu, attente = s["menu"], r["attente"]
    lignes.append(("CPU, menu waiting for input, 5 s", cpu(menu), cpu(attente), "<= 0.5 %",
                   oui(menu["cpu"] <= 0.5)
                   + ("" if menu["cpu"] <= 0.5 else
                      " (game's own share: +%.2f %%)" % (menu["cpu_fin"] - attente["cpu_fin"]))))
    boucle = r["boucle"]
    par_image = boucle["cpu_fin"] / boucle["ips"]
    partie = s["partie"]
    lignes.append(("CPU, a game while counting (clicks at 10/s), 5 s",
                   "%s, %.1f frames/s" % (cpu(partie), partie["ips"]),
                   "%.2f %% for as many bare flips" % (par_image * partie["ips"]), "<= 10 %",
                   oui(partie["cpu"] <= 10)))
    for cle, quoi in (("partie_finie", "Finished game (redraws without waiting)"),
                      ("credits", "Credits (redraw without waiting)")):
        m = s[cle]
        lignes.append((quoi + ": frame rate and CPU",
                       "%.1f frames/s, %s" % (m["ips"], cpu(m)),
                       "%.1f frames/s, %s flipping in a loop" % (boucle["ips"], cpu(boucle)),
                       "no faster than the display",
                       oui(m["ips"] <= boucle["ips"] * 1.05 and m["ips"] <= 75)))
    par_ecran = s.get("vmhwm_par_ecran_kb", {})
    if par_ecran:
        lignes.append(("Peak memory after each screen (info)",
                       ", ".join("%s %.1f" % (k, v / MO) for k, v in par_ecran.items()) + " MB",
                       "%.1f MB" % (r["vmhwm_kb"] / MO), "info", "info"))
    lignes.append(("Session's exit status", str(s["statut"]), "", "0", oui(s["statut"] == 0)))
    return lignes


def lignes_clics(dossier):
    chemin = os.path.join(dossier, "clics.txt")
    if not os.path.exists(chemin):
        return [("Clicks at 20, 50, 100 per second", "not run", "", "100 % counted", "")]
    with open(chemin) as f:
        texte = f.read()
    entete = None
    lignes = []
    for ligne in texte.splitlines():
        cellules = [c.strip() for c in ligne.strip().strip("|").split("|")]
        if entete is None and any("clicks/s" in c for c in cellules):
            entete = cellules
            continue
        if entete is None or len(cellules) != len(entete) or not cellules[0].isdigit():
            continue
        v = dict(zip(entete, cellules))
        envoyes, comptes = int(v.get("sent", 0)), int(v.get("counted", -1))
        mouvements = float(re.sub(r"[^0-9.]", "", v.get("motions/s", "0")) or 0)
        lignes.append(("Clicks at %s per second, with pointer motion" % cellules[0],
                       "%d of %d counted, %.0f motions/s" % (comptes, envoyes, mouvements), "",
                       "100 % counted, >= 500 motions/s",
                       oui(comptes == envoyes and envoyes > 0 and mouvements >= 500)))
    if not lignes:
        lignes.append(("Clicks (bench/clics.py)", "no figures: " + texte.strip()[:200], "",
                       "100 % counted", "**NO**"))
    return lignes


def lignes_latence(latence):
    if latence is None:
        return [("Click to sound; a game's length", "not run", "", "", "")]
    lignes = []
    for c in latence["cadences"]:
        quoi = "Click to sound: X server's release to its first mixed frame, %d clicks/s" % (
            c["cadence"])
        compte = "%d of %d counted" % (c["comptes"], c["envoyes"])
        if "mediane" not in c:
            lignes.append((quoi, "%s; %s sounds for %d clicks" % (
                compte, c.get("entendus", "no"), c["envoyes"]), "", "", "**NO**"))
            continue
        lignes.append((quoi, "median %.1f ms, 95th percentile %.1f, max %.1f (min %.1f); %s"
                       % (c["mediane"], c["p95"], c["max"], c["min"], compte), "",
                       "95th <= 20 ms, max <= 30 ms",
                       oui(c["p95"] <= 20 and c["max"] <= 30 and c["comptes"] == c["envoyes"])))
    lignes.append(("X server's release stamps between the request and its reply",
                   "%d outside" % latence["hors_fenetre"], "", "none outside",
                   oui(latence["hors_fenetre"] == 0)))
    durees = latence["durees_s"]
    mediane = statistics.median(durees)
    lignes.append(("A game's length: first click (at the caption) to the count written",
                   "%.3f s (median of %d; %.3f-%.3f)" % (mediane, len(durees), min(durees),
                                                        max(durees)), "",
                   "9.9 to 10.0 s (99 steps of 100 ms, and loading)", oui(9.9 <= mediane <= 10.0)))
    lignes.append(("CPU, a game while counting with a sound thread (clicks at 10/s)",
                   "%.1f %% (median of %d)" % (statistics.median(latence["cpu_comptage"]),
                                               len(latence["cpu_comptage"])), "", "info", "info"))
    return lignes


def etapes(p, demarrage):
    """The start-up timeline from the probed runs, and the in-process step costs."""
    sortie = []
    if p is not None:
        for nom, titre in (("jeu", "game"), ("nue", "bare window")):
            sortie.append("Start-up of the %s, probed (median ms from exec: start +length):"
                          % titre)
            for e in p["demarrage"]["etapes"][nom]:
                if e["debut_ms"] > p["demarrage"]["etapes"][nom][-1]["debut_ms"]:
                    break
                sortie.append("  %7.1f %+7.1f  %s" % (e["debut_ms"], e["duree_ms"], e["appel"]))
    if demarrage is not None:
        sortie.append("Start-up steps in-process (warm; median ms):")
        par_nom = {}
        for b in demarrage["benchmarks"]:
            if b.get("run_type") == "iteration":
                par_nom.setdefault(b["run_name"], []).append(b)
        for nom, essais in par_nom.items():
            sortie.append("  %-28s %7.2f wall %7.2f CPU" % (
                nom, statistics.median(e["real_time"] for e in essais),
                statistics.median(e["cpu_time"] for e in essais)))
    return sortie


def main():
    dossier = sys.argv[1]
    audio = charger(dossier, "audio.json")
    programme = charger(dossier, "programme.json")
    demarrage = charger(dossier, "demarrage.json")
    lignes = (lignes_audio(audio) + lignes_programme(programme) + lignes_clics(dossier)
              + lignes_latence(charger(dossier, "latence.json")))
    print("| Figure | Measured | Bare window | Target | Holds |")
    print("|---|---|---|---|---|")
    for ligne in lignes:
        print("| " + " | ".join(ligne) + " |")
    print()
    for ligne in etapes(programme, demarrage):
        print(ligne)
    if os.path.exists(os.path.join(dossier, "charge.txt")):
        with open(os.path.join(dossier, "charge.txt")) as f:
            print("Machine load (1-min load average, 2 cores): " + " ".join(f.read().split()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
