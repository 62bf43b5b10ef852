#!/usr/bin/python3
"""Whole-program figures under Xvfb, each beside a bare window's: start-up, peak memory, CPU, frame rate.

Writes one JSON object (see `main`) to --sortie. Every figure of the game is
taken in the same run as its bare-window reference, so both see the same
machine load.
"""

import argparse
import json
import os
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import threading
import time

ICI = os.path.dirname(os.path.abspath(__file__))
RACINE = os.path.dirname(ICI)
sys.path.insert(0, ICI)

from Xlib import X, error  # noqa: E402

from banc import ServeurX, arreter, temps_cpu  # noqa: E402

# The row of the window watched for the first frame: it crosses the menu's
# picture, and the bare window's fill.
LIGNE = 300


# The process from outside.

def temps_fils(pid):
    """CPU time of each live thread, in seconds, by thread id: (name, seconds).

    From the scheduler's nanosecond accounting, finer than the 10 ms ticks of
    utime and stime."""
    fils = {}
    try:
        taches = os.listdir("/proc/%d/task" % pid)
    except FileNotFoundError:
        return fils
    for tid in taches:
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                ns = int(f.read().split()[0])
            with open("/proc/%d/task/%s/comm" % (pid, tid)) as f:
                nom = f.read().strip()
        except (FileNotFoundError, ProcessLookupError, ValueError):
            continue
        fils[tid] = (nom, ns / 1e9)
    return fils


def vmhwm(pid):
    """Peak resident memory so far, in kB; None once the process is gone."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for ligne in f:
                if ligne.startswith("VmHWM:"):
                    return int(ligne.split()[1])
    except (FileNotFoundError, ProcessLookupError):
        return None
    return None


class Flips:
    """The probe's flip counter, shared with the program through a file."""

    def __init__(self, chemin):
        self.chemin = chemin + ".flips"

    def lire(self):
        try:
            with open(self.chemin, "rb") as f:
                octets = f.read(24)
        except FileNotFoundError:
            return 0, 0.0, 0.0
        if len(octets) < 24:
            return 0, 0.0, 0.0
        return struct.unpack("=Qdd", octets)


class Programme:
    """One run of a program on the X server, in its own session; killed on exit."""

    def __init__(self, serveur, commande, dossier, sonde=None, journal=None, env_en_plus=None):
        self.serveur = serveur
        # The game looks for a sound device as a player's machine would,
        # unless the caller names a driver.
        env = dict(os.environ, DISPLAY=serveur.nom)
        env.pop("SDL_AUDIODRIVER", None)
        env.update(env_en_plus or {})
        if sonde:
            env["LD_PRELOAD"] = sonde
            env["PRESSATHON_SONDE"] = journal
        self.debut = time.monotonic()
        self.processus = subprocess.Popen(
            commande, cwd=dossier, env=env, stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.pid = self.processus.pid
        self.fenetre = None
        self.crete = 0
        self.fin_surveillance = threading.Event()
        self.surveillant = threading.Thread(target=self._surveiller, daemon=True)
        self.surveillant.start()

    def _surveiller(self):
        while not self.fin_surveillance.is_set():
            valeur = vmhwm(self.pid)
            if valeur is None:
                return
            self.crete = max(self.crete, valeur)
            time.sleep(0.05)

    def __enter__(self):
        return self

    def __exit__(self, *erreur):
        self.fin_surveillance.set()
        arreter(self.processus)

    def trouver_fenetre(self):
        """The mapped top-level window whose _NET_WM_PID is this process.

        SDL may create and destroy a window of its own before the real one,
        so a window that disappears is looked for again."""
        if self.fenetre is not None:
            return self.fenetre
        x = self.serveur.x
        atome = x.intern_atom("_NET_WM_PID")
        try:
            for enfant in x.screen().root.query_tree().children:
                valeur = enfant.get_full_property(atome, X.AnyPropertyType)
                if (valeur and valeur.value[0] == self.pid
                        and enfant.get_attributes().map_state == X.IsViewable):
                    self.fenetre = enfant
                    return enfant
        except error.XError:
            pass
        return None

    def ligne(self):
        """Row LIGNE of the window as BGRX bytes, or None while it cannot be read."""
        fenetre = self.trouver_fenetre()
        if fenetre is None:
            return None
        try:
            largeur = fenetre.get_geometry().width
            return fenetre.get_image(0, LIGNE, largeur, 1, X.ZPixmap, 0xFFFFFFFF).data
        except error.XError:
            self.fenetre = None
            return None

    def titre(self):
        fenetre = self.trouver_fenetre()
        if fenetre is None:
            return None
        try:
            nom = fenetre.get_wm_name()
        except error.XError:
            self.fenetre = None
            return None
        return nom.decode("latin-1") if isinstance(nom, bytes) else nom

    def attendre(self, condition, delai, quoi):
        limite = time.monotonic() + delai
        while time.monotonic() < limite:
            if condition():
                return
            if self.processus.poll() is not None:
                break
            time.sleep(0.02)
        raise RuntimeError("waited in vain for %s" % quoi)

    def attendre_titre(self, titre, delai=10):
        self.attendre(lambda: self.titre() == titre, delai, "the caption %r" % titre)

    def xdotool(self, *arguments):
        subprocess.run(["xdotool", *arguments], check=True, timeout=20,
                       env=dict(os.environ, DISPLAY=self.serveur.nom))

    def touche(self, nom):
        self.xdotool("windowfocus", "--sync", str(self.fenetre.id))
        self.xdotool("key", nom)

    def cpu_sur(self, duree, pendant=None):
        """Share of one core used over `duree` seconds, and the flips meanwhile."""
        t0, c0, d0 = time.monotonic(), temps_cpu(self.pid), temps_fils(self.pid)
        f0 = self.flips.lire()[0] if hasattr(self, "flips") else 0
        if pendant:
            pendant()
        reste = duree - (time.monotonic() - t0)
        if reste > 0:
            time.sleep(reste)
        t1, c1, d1 = time.monotonic(), temps_cpu(self.pid), temps_fils(self.pid)
        f1 = self.flips.lire()[0] if hasattr(self, "flips") else 0
        # Per thread name, threads present at both ends (none is started or
        # ended while a screen stays open).
        par_nom = {}
        for tid, (nom, fin) in d1.items():
            debut = d0.get(tid, (nom, 0.0))[1]
            par_nom[nom] = par_nom.get(nom, 0.0) + 100.0 * (fin - debut) / (t1 - t0)
        return {"cpu": 100.0 * (c1 - c0) / (t1 - t0),
                "cpu_fin": sum(par_nom.values()),
                "fils": {nom: round(v, 3) for nom, v in par_nom.items() if v >= 0.005},
                "ips": (f1 - f0) / (t1 - t0), "duree": t1 - t0}

    def finir(self, delai=20):
        """Waits for the exit; returns (status, peak RSS in kB from the kernel's accounting)."""
        limite = time.monotonic() + delai
        while time.monotonic() < limite:
            pid, statut, usage = os.wait4(self.pid, os.WNOHANG)
            if pid == self.pid:
                self.processus.returncode = os.waitstatus_to_exitcode(statut)
                return self.processus.returncode, usage.ru_maxrss
            valeur = vmhwm(self.pid)
            if valeur is not None:
                self.crete = max(self.crete, valeur)
            time.sleep(0.02)
        raise RuntimeError("the program did not end")


def copie_donnees(donnees):
    dossier = tempfile.mkdtemp(prefix="pressathon-bench-")
    shutil.copytree(donnees, dossier, dirs_exist_ok=True)
    return dossier


def ecart(a, b):
    return sum(abs(p - q) for p, q in zip(a, b)) / max(1, len(a))


# Start-up.

def reference_image(serveur, commande, dossier):
    """The row LIGNE once the program has settled (after its first frame)."""
    with Programme(serveur, commande, dossier) as p:
        p.attendre(lambda: p.ligne() is not None, 10, "the window")
        time.sleep(1.5)
        ligne = p.ligne()
    if ligne is None or max(ligne) == 0:
        raise RuntimeError("%s showed nothing" % commande[0])
    return ligne


def premiere_image(serveur, commande, dossier, attendue, sonde=None, journal=None, env=None):
    """Seconds from exec to the window mapped and showing `attendue` (polled every ~1 ms).

    Returns (first frame, window mapped, exec time); with a probe and a sound
    driver, also waits for the probe to note the first non-silent sound
    buffer, and returns its time from exec as a fourth value."""
    with Programme(serveur, commande, dossier, sonde, journal, env) as p:
        carte = None
        limite = p.debut + 10
        while time.monotonic() < limite:
            ligne = p.ligne()
            if ligne is not None:
                if carte is None:
                    carte = time.monotonic() - p.debut
                if ecart(ligne, attendue) < 2:
                    image = time.monotonic() - p.debut
                    if not (env and env.get("SDL_AUDIODRIVER") and journal):
                        return image, carte, p.debut
                    return image, carte, p.debut, premier_son(journal, p.debut, limite)
            time.sleep(0.001)
    raise RuntimeError("%s never showed its first frame" % commande[0])


def premier_son(journal, debut, limite):
    """Seconds from exec to the first non-silent sound buffer the probe noted."""
    while time.monotonic() < limite:
        with open(journal) as f:
            for ligne in f:
                if ligne.startswith("premier_son "):
                    return float(ligne.split()[1]) - debut
        time.sleep(0.005)
    raise RuntimeError("no sound was heard")


def lire_journal(journal, debut):
    """The probe's lines as (name, detail, start ms, length ms) from exec."""
    etapes = []
    with open(journal) as f:
        for ligne in f:
            morceaux = ligne.split(" ", 3)
            if len(morceaux) < 3:
                continue
            nom, a, b = morceaux[0], float(morceaux[1]), float(morceaux[2])
            detail = morceaux[3].strip() if len(morceaux) > 3 else ""
            etapes.append((nom, os.path.basename(detail), 1000 * (a - debut), 1000 * (b - a)))
    return etapes


def demarrage(serveur, jeu, nue, donnees, sonde, repetitions):
    dossier = copie_donnees(donnees)
    # The game once more, with a sound device (SDL's dummy driver runs a sound
    # thread at the pace of a card) and the probe listening to it.
    avec_son = {"SDL_AUDIODRIVER": "dummy"}
    try:
        commandes = {"jeu": [jeu], "nue": [nue], "son": [jeu]}
        attendues = {nom: reference_image(serveur, c, dossier)
                     for nom, c in commandes.items() if nom != "son"}
        attendues["son"] = attendues["jeu"]
        mesures = {nom: [] for nom in commandes}
        cartes = {nom: [] for nom in commandes}
        musique = []
        for i in range(repetitions):
            # Rotated, so that a change in the machine's load falls on all.
            ordre = ("jeu", "nue", "son")[i % 3:] + ("jeu", "nue", "son")[:i % 3]
            for nom in ordre:
                if nom == "son":
                    journal = os.path.join(dossier, "..sonde-son-%d" % i)
                    t, carte, _, son = premiere_image(serveur, commandes[nom], dossier,
                                                      attendues[nom], sonde, journal, avec_son)
                    musique.append(1000 * son)
                else:
                    t, carte, _ = premiere_image(serveur, commandes[nom], dossier,
                                                 attendues[nom])
                mesures[nom].append(1000 * t)
                cartes[nom].append(1000 * carte)

        # Where the time goes: a few more runs with the probe preloaded.
        details = {"jeu": [], "nue": []}
        for i in range(3):
            for nom in ("jeu", "nue"):
                journal = os.path.join(dossier, "..sonde-%s-%d" % (nom, i))
                t, _, debut = premiere_image(serveur, commandes[nom], dossier, attendues[nom],
                                             sonde, journal)
                etapes = lire_journal(journal, debut)
                etapes.append(("fenetre_montre_l_image", "", 1000 * t, 0.0))
                details[nom].append(etapes)
        return {"ms": mesures, "carte_ms": cartes, "musique_ms": musique,
                "etapes": resumer_etapes(details)}
    finally:
        shutil.rmtree(dossier, ignore_errors=True)


def resumer_etapes(details):
    """Median start and length of each probed call, in the order of the calls."""
    resume = {}
    for nom, passages in details.items():
        par_cle = {}
        ordre = []
        for etapes in passages:
            vues = {}
            for (appel, detail, debut, duree) in etapes:
                cle = appel + (" " + detail if detail else "")
                vues[cle] = vues.get(cle, 0) + 1
                if vues[cle] > 1:
                    cle += " #%d" % vues[cle]
                if cle not in par_cle:
                    par_cle[cle] = []
                    ordre.append(cle)
                par_cle[cle].append((debut, duree))
        resume[nom] = [
            {"appel": cle,
             "debut_ms": statistics.median(d for d, _ in par_cle[cle]),
             "duree_ms": statistics.median(l for _, l in par_cle[cle])}
            for cle in ordre]
        resume[nom].sort(key=lambda e: e["debut_ms"])
    return resume


# A whole session, and the bare window's references.

def session(serveur, jeu, donnees, sonde):
    """Menu, a game, high scores, instructions, credits; CPU per screen and peak memory."""
    dossier = copie_donnees(donnees)
    journal = os.path.join(dossier, "..sonde")
    resultats = {}
    try:
        with Programme(serveur, [jeu], dossier, sonde, journal) as p:
            p.flips = Flips(journal)
            p.attendre(lambda: p.flips.lire()[0] > 0 and p.trouver_fenetre() is not None, 10,
                       "the menu's first frame")
            time.sleep(1.0)
            memoire = {"menu": vmhwm(p.pid)}
            resultats["menu"] = p.cpu_sur(5.0)

            p.xdotool("mousemove", "--window", str(p.fenetre.id), "400", "300")
            p.touche("1")
            p.attendre_titre("Pressathon - JOUE")
            debut_partie = time.monotonic()
            time.sleep(1.0)
            # Counting, with a click every 100 ms.
            resultats["partie"] = p.cpu_sur(
                5.0, lambda: p.xdotool("click", "--repeat", "45", "--delay", "100", "1"))
            reste = debut_partie + 12.5 - time.monotonic()
            if reste > 0:
                time.sleep(reste)
            resultats["partie_finie"] = p.cpu_sur(3.0)
            memoire["partie"] = vmhwm(p.pid)
            p.touche("Escape")
            p.attendre_titre("Pressathon - HOME")

            p.touche("2")
            p.attendre_titre("Pressathon - HIGHSCORES")
            time.sleep(0.5)
            p.touche("Escape")
            p.attendre_titre("Pressathon - HOME")
            memoire["highscores"] = vmhwm(p.pid)
            p.touche("3")
            p.attendre_titre("Pressathon - INSTRUCTIONS")
            p.xdotool("mousemove", "--window", str(p.fenetre.id), "200", "200")
            time.sleep(0.5)
            p.touche("Escape")
            p.attendre_titre("Pressathon - HOME")

            memoire["instructions"] = vmhwm(p.pid)
            p.touche("Escape")
            p.attendre_titre("Pressathon - CREDITS")
            time.sleep(1.0)
            resultats["credits"] = p.cpu_sur(5.0)
            statut, maxrss = p.finir()
            resultats["statut"] = statut
            resultats["vmhwm_kb"] = p.crete
            resultats["maxrss_kb"] = maxrss
            memoire["credits"] = p.crete
            resultats["vmhwm_par_ecran_kb"] = memoire
        return resultats
    finally:
        shutil.rmtree(dossier, ignore_errors=True)


def references(serveur, nue, sonde):
    """The bare window waiting for events (CPU, peak memory), then flipping in a loop."""
    dossier = tempfile.mkdtemp(prefix="pressathon-bench-")
    resultats = {}
    try:
        journal = os.path.join(dossier, "..sonde")
        with Programme(serveur, [nue], dossier, sonde, journal) as p:
            p.flips = Flips(journal)
            p.attendre(lambda: p.flips.lire()[0] > 0 and p.trouver_fenetre() is not None, 10,
                       "the bare window's first frame")
            time.sleep(1.0)
            resultats["attente"] = p.cpu_sur(5.0)
            p.xdotool("mousemove", "--window", str(p.fenetre.id), "100", "100")
            p.xdotool("mousemove", "--window", str(p.fenetre.id), "200", "200")
            time.sleep(0.3)
            p.touche("Escape")
            statut, maxrss = p.finir()
            resultats["statut"] = statut
            resultats["vmhwm_kb"] = p.crete
            resultats["maxrss_kb"] = maxrss

        journal = os.path.join(dossier, "..sonde-boucle")
        with Programme(serveur, [nue, "boucle", "7"], dossier, sonde, journal) as p:
            p.flips = Flips(journal)
            p.attendre(lambda: p.flips.lire()[0] > 0, 10, "the loop's first frame")
            time.sleep(1.0)
            resultats["boucle"] = p.cpu_sur(5.0)
            p.finir()
        return resultats
    finally:
        shutil.rmtree(dossier, ignore_errors=True)


def main():
    parametres = argparse.ArgumentParser(description=__doc__)
    parametres.add_argument("--programme", required=True)
    parametres.add_argument("--fenetre-nue", required=True)
    parametres.add_argument("--sonde", required=True, help="the preloaded probe (libsonde.so)")
    parametres.add_argument("--donnees", default=os.path.join(RACINE, "data"))
    parametres.add_argument("--repetitions", type=int, default=7)
    parametres.add_argument("--sortie", required=True)
    parametres.add_argument("--sans-session", action="store_true",
                            help="start-up only (quicker)")
    a = parametres.parse_args()
    jeu, nue, sonde = (os.path.abspath(c) for c in (a.programme, a.fenetre_nue, a.sonde))

    resultat = {}
    with ServeurX() as serveur:
        print("  start-up: %d runs of each..." % a.repetitions, file=sys.stderr)
        resultat["demarrage"] = demarrage(serveur, jeu, nue, a.donnees, sonde, a.repetitions)
        if not a.sans_session:
            print("  bare window references...", file=sys.stderr)
            resultat["reference"] = references(serveur, nue, sonde)
            print("  a whole session (about 40 s)...", file=sys.stderr)
            resultat["session"] = session(serveur, jeu, a.donnees, sonde)
    with open(a.sortie, "w") as f:
        json.dump(resultat, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main())
