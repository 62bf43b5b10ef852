#!/usr/bin/python3
# A real X server (Xvfb), the real game in a real window, and a player's hands (xdotool).

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


# For a sanitizer build, Mesa's software driver loaded from the start (after ASan's runtime):
# Mesa unloads it when the window closes, and LeakSanitizer would report its globals from a
# library it can no longer name.
def prechargement():
    asan = re.search(r"libasan\.so\S* => (\S+)",
                     subprocess.run(["ldd", PROGRAMME], capture_output=True, text=True).stdout)
    if asan and os.path.exists(MESA_LOGICIEL):
        return {"LD_PRELOAD": asan.group(1) + " " + MESA_LOGICIEL}
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


# An Xvfb server on a display number it finds free itself (-displayfd). A start that fails,
# which a loaded machine made frequent, is tried again, waiting longer each time, for about a
# minute.
class ServeurX:
    def __enter__(self):
        for essai in range(9):
            lecture, ecriture = os.pipe()
            self.processus = subprocess.Popen(
                ["Xvfb", "-displayfd", str(ecriture), "-screen", "0", "1024x768x24", "-nolisten",
                 "tcp", "-noreset"], pass_fds=(ecriture,), stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL, start_new_session=True)
            os.close(ecriture)
            # The whole line is read before the pipe closes: Xvfb writes the number and its
            # newline apart, and dies if the second write finds the pipe closed. No number
            # within 30 s leaves the name ":", which Xlib refuses.
            with os.fdopen(lecture) as tube:
                prete = select.select([tube], [], [], 30)[0]
                self.nom = ":" + (tube.readline().strip() if prete else "")
            try:
                self.x = display.Display(self.nom)
                return self
            except Exception as erreur:
                arreter(self.processus)
                print("Xvfb start failed: %r: %s (status %s)" % (self.nom, erreur,
                      self.processus.returncode), file=sys.stderr)
                time.sleep(min(0.25 * 2 ** essai, 8))
        raise RuntimeError("no Xvfb server could be started")

    def __exit__(self, *erreur):
        try:
            self.x.close()
        finally:
            arreter(self.processus)


# The game running in a private copy of data/ (`fichiers` maps a path in it to new bytes, or to
# None to remove it), with its window, and its stderr kept there as "..stderr". A `commande`
# given (an installed launcher, say) runs from / with no copy of the data.
class Partie:
    def __init__(self, serveur, fichiers=None, env=None, commande=None):
        self.serveur, self.fenetre = serveur, None
        self.dossier = Path(tempfile.mkdtemp(prefix="pressathon-joueur-"))
        if commande is None:
            shutil.copytree(DONNEES, self.dossier, dirs_exist_ok=True)
        for chemin, contenu in (fichiers or {}).items():
            (self.dossier / chemin).unlink()
            if contenu is not None:
                (self.dossier / chemin).write_bytes(contenu)
        self.erreurs = open(self.dossier / "..stderr", "wb")
        self.lance = time.monotonic()  # for timing the start-up
        self.processus = subprocess.Popen(
            commande or [PROGRAMME], cwd="/" if commande else self.dossier,
            env=dict(os.environ, DISPLAY=serveur.nom, **({} if commande else prechargement()))
            | (env or {}), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self.erreurs, start_new_session=True)

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

    def attendre(self, condition, delai, quoi):
        limite = time.monotonic() + delai
        while not condition():
            if time.monotonic() > limite or self.processus.poll() is not None:
                raise AssertionError("waited in vain for %s (exit status %s)"
                                     % (quoi, self.processus.poll()))
            time.sleep(0.05)

    # Waits for this process's window with that caption, which becomes the window acted on (a
    # change of video mode may give the game a new window).
    def attendre_titre(self, titre, delai=10):
        try:
            fenetre = int(self.xdotool("search", "--sync", "--all", "--onlyvisible", "--pid",
                                       self.processus.pid, "--name", "^%s$" % titre,
                                       delai=delai).split()[-1])
        except subprocess.TimeoutExpired:
            raise AssertionError("no window %r within %s s (exit status %s)"
                                 % (titre, delai, self.processus.poll())) from None
        if fenetre != self.fenetre:
            # SDL ignores a click that comes within 10 ms of the window getting the focus (the
            # click that focused it): focus it now, once.
            self.fenetre = fenetre
            self.xdotool("windowfocus", "--sync", fenetre)
            time.sleep(0.05)

    def touche(self, nom):
        self.xdotool("windowfocus", "--sync", self.fenetre, "key", nom)

    def clic(self, fois=1, bouton=1, delai_ms=30):
        self.xdotool("mousemove", "--window", self.fenetre, 400, 300,
                     "click", "--repeat", fois, "--delay", delai_ms, bouton, delai=30)

    # Waits until the window shows that picture of data/ over that box, within an average of 4
    # a channel, as the game draws it: on white, its transparency flattened. Drawn on events
    # only: a pointer move makes sure of a frame.
    def montre(self, nom, boite):
        image = Image.open(os.path.join(DONNEES, nom)).convert("RGBA")
        image = Image.alpha_composite(Image.new("RGBA", image.size, "white"), image).convert("RGB")
        fenetre = self.serveur.x.create_resource_object("window", self.fenetre)

        def ecart():
            vue = fenetre.get_image(0, 0, *image.size, X.ZPixmap, 0xFFFFFFFF).data
            vue = Image.frombytes("RGB", image.size, vue, "raw", "BGRX").crop(boite).tobytes()
            return sum(map(abs, map(int.__sub__, vue, image.crop(boite).tobytes()))) / len(vue)

        self.xdotool("mousemove", "--window", self.fenetre, 20, 430)
        self.attendre(lambda: ecart() < 4, 5, nom)
