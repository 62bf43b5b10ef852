#!/usr/bin/python3
"""A real X server (Xvfb), the real game in a real window, and a player's hands (xdotool)."""

import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

from PIL import Image
from Xlib import X, display

PROGRAMME = os.path.abspath(os.environ.get("PRESSATHON_PROGRAMME", "build/pressathon"))
DONNEES = os.environ.get("PRESSATHON_DONNEES", "data")
MESA_LOGICIEL = "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"


# For a sanitizer build, Mesa's software driver loaded from the start (after ASan's
# runtime): Mesa unloads it when the window closes, and LeakSanitizer would report its
# globals from a library it can no longer name.
def prechargement():
    liens = subprocess.run(["ldd", PROGRAMME], capture_output=True, text=True).stdout
    asan = re.search(r"libasan\.so\S* => (\S+)", liens)
    if asan and os.path.exists(MESA_LOGICIEL):
        return {"LD_PRELOAD": "%s %s" % (asan.group(1), MESA_LOGICIEL)}
    return {}


# Ends a process and its group, politely first.
def arreter(processus):
    for sig, delai in ((signal.SIGTERM, 3), (signal.SIGKILL, 5)):
        if processus.poll() is not None:
            return
        try:
            os.killpg(processus.pid, sig)
            processus.wait(delai)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            pass


# An Xvfb server on a display number it finds free itself (-displayfd).
#
# A start that fails is tried again, waiting longer each time, for up to a
# minute; what Xvfb wrote is kept and shown when no start succeeds, and
# each failed start is reported on stderr.
class ServeurX:
    def __enter__(self):
        limite = time.monotonic() + 60
        pause = 0.25
        echecs = []
        while not self._demarrer(echecs):
            print("Xvfb start failed, trying again: %s" % echecs[-1], file=sys.stderr)
            if time.monotonic() + pause > limite:
                raise RuntimeError("no Xvfb server could be started:\n" + "\n".join(echecs))
            time.sleep(pause)
            pause = min(2 * pause, 8)
        return self

    def _demarrer(self, echecs):
        lecture, ecriture = os.pipe()
        with tempfile.TemporaryFile() as journal:
            self.processus = subprocess.Popen(
                ["Xvfb", "-displayfd", str(ecriture), "-screen", "0", "1024x768x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(ecriture,), stdout=subprocess.DEVNULL, stderr=journal,
                start_new_session=True)
            os.close(ecriture)
            # The whole line is read before the pipe closes: Xvfb writes the number
            # and its newline separately, and dies if the second write finds the
            # pipe closed (which a loaded machine made frequent).
            with os.fdopen(lecture) as tube:
                numero = tube.readline().strip() if select.select([tube], [], [], 30)[0] else ""
            # No number within 30 s leaves the name ":", which Xlib refuses.
            self.nom = ":" + numero
            try:
                self.x = display.Display(self.nom)
                return True
            except Exception as erreur:
                arreter(self.processus)
                journal.seek(0)
                echecs.append("%r: %s (status %s) %s" % (
                    self.nom, erreur, self.processus.returncode,
                    journal.read().decode(errors="replace").strip()))
                return False

    def __exit__(self, *erreur):
        try:
            self.x.close()
        finally:
            arreter(self.processus)


# The game running in a private copy of data/, with its window, and its stderr
# kept there as "..stderr".
#
# `fichiers` maps a data path to new bytes, or to None for a named pipe nobody
# writes to. A `commande` given (an installed launcher, say) runs from / with
# no copy of the data.
class Partie:
    def __init__(self, serveur, fichiers=None, env=None, commande=None):
        self.serveur = serveur
        self.dossier = Path(tempfile.mkdtemp(prefix="pressathon-joueur-"))
        if commande is None:
            shutil.copytree(DONNEES, self.dossier, dirs_exist_ok=True)
        for chemin, contenu in (fichiers or {}).items():
            (self.dossier / chemin).unlink()
            if contenu is None:
                os.mkfifo(self.dossier / chemin)
            else:
                (self.dossier / chemin).write_bytes(contenu)
        self.erreurs = open(self.dossier / "..stderr", "wb")
        # When the program was started, for timing its start-up.
        self.lance = time.monotonic()
        self.processus = subprocess.Popen(
            commande or [PROGRAMME], cwd="/" if commande else self.dossier,
            env=dict(os.environ, DISPLAY=serveur.nom, **({} if commande else prechargement()),
                     **(env or {})),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.erreurs,
            start_new_session=True)
        self.fenetre = None

    def __enter__(self):
        return self

    def __exit__(self, *erreur):
        arreter(self.processus)
        self.erreurs.close()
        shutil.rmtree(self.dossier, ignore_errors=True)

    def lire(self, nom):
        return (self.dossier / nom).read_bytes()

    def xdotool(self, *arguments, delai=10):
        return subprocess.run(["xdotool", *map(str, arguments)], check=True, timeout=delai,
                              capture_output=True, text=True,
                              env=dict(os.environ, DISPLAY=self.serveur.nom)).stdout

    # Waits for this process's window with that caption, which becomes the window
    # acted on (a change of video mode may give the game a new window).
    def attendre_titre(self, titre, delai=10):
        try:
            trouvees = self.xdotool("search", "--sync", "--all", "--onlyvisible", "--pid",
                                    self.processus.pid, "--name", "^%s$" % titre, delai=delai)
        except subprocess.TimeoutExpired:
            raise AssertionError("no window %r within %s s (exit status %s)"
                                 % (titre, delai, self.processus.poll())) from None
        fenetre = int(trouvees.split()[-1])
        if fenetre != self.fenetre:
            # SDL ignores a click that comes within 10 ms of the window getting
            # the focus (the click that focused it): focus it now, once.
            self.fenetre = fenetre
            self.xdotool("windowfocus", "--sync", fenetre)
            time.sleep(0.05)

    def attendre(self, condition, delai=10, quoi="condition"):
        limite = time.monotonic() + delai
        while not condition():
            if time.monotonic() > limite or self.processus.poll() is not None:
                raise AssertionError("waited in vain for %s (exit status %s)"
                                     % (quoi, self.processus.poll()))
            time.sleep(0.05)

    # The window's pixels as an RGB image of its size.
    def capture(self):
        fenetre = self.serveur.x.create_resource_object("window", self.fenetre)
        taille = fenetre.get_geometry()
        image = fenetre.get_image(0, 0, taille.width, taille.height, X.ZPixmap, 0xFFFFFFFF)
        return Image.frombytes("RGB", (taille.width, taille.height), image.data, "raw", "BGRX")

    def touche(self, nom):
        self.xdotool("windowfocus", "--sync", self.fenetre, "key", nom)

    def clic(self, fois=1, bouton=1, delai_ms=30):
        self.xdotool("mousemove", "--window", self.fenetre, 400, 300,
                     "click", "--repeat", fois, "--delay", delai_ms, bouton, delai=30)

    # Waits until the window shows that picture of data/ over that box, within an
    # average `seuil` a channel. Drawn on events only: a pointer move makes sure
    # of a frame.
    def montre(self, nom, boite, seuil=4):
        # As the game draws it: on white, its transparency flattened.
        image = Image.open(os.path.join(DONNEES, nom)).convert("RGBA")
        fond = Image.new("RGBA", image.size, (255, 255, 255, 255))
        reference = Image.alpha_composite(fond, image).convert("RGB")
        self.xdotool("mousemove", "--window", self.fenetre, 20, 430)
        self.attendre(lambda: ecart(self.capture(), reference, boite) < seuil, 5, nom)
        return reference


# Mean absolute difference per channel (0 to 255) of two images over a box.
def ecart(image, reference, boite):
    a, b = (i.crop(boite).convert("RGB").tobytes() for i in (image, reference))
    return sum(abs(p - q) for p, q in zip(a, b)) / max(1, len(a))
