#!/usr/bin/python3
# A real X server (Xvfb), the real game in a real window, and a player's hands (xdotool).

import contextlib
import os
import re
import shutil
import signal
import subprocess
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
    return ({"LD_PRELOAD": asan.group(1) + " " + MESA_LOGICIEL}
            if asan and os.path.exists(MESA_LOGICIEL) else {})


# Ends a process and its group.
def arreter(processus):
    if processus.poll() is None:
        os.killpg(processus.pid, signal.SIGKILL)
        processus.wait()


# The X server the player's tests and the bench run under (xvfb-run starts one of its own on a
# free display, and ends it with them), and a connection to it.
class ServeurX:
    def __enter__(self):
        self.nom = os.environ["DISPLAY"]
        self.x = display.Display(self.nom)
        return self

    def __exit__(self, *erreur):
        self.x.close()


# The game running in a private copy of data/ (`fichiers` maps a path in it to new bytes, or to
# None to remove it), with its window, and its stderr kept there (`sortie_erreurs`); or another
# `commande` (the bench's bare window, the Windows game under Wine) in its place, in a copy of
# `donnees`; or in the `dossier` of another game running, which it neither copies nor removes.
class Partie(contextlib.AbstractContextManager):
    def __init__(self, serveur, fichiers=None, env=None, commande=(PROGRAMME,), donnees=DONNEES,
                 dossier=None):
        self.serveur, self.fenetre, self.propre = serveur, None, dossier is None
        self.dossier = Path(dossier or tempfile.mkdtemp(prefix="pressathon-joueur-"))
        if self.propre:
            shutil.copytree(donnees, self.dossier, dirs_exist_ok=True)
        for chemin, contenu in (fichiers or {}).items():
            (self.dossier / chemin).unlink()
            if contenu is not None:
                (self.dossier / chemin).write_bytes(contenu)
        self.erreurs = tempfile.NamedTemporaryFile(prefix="..stderr", dir=self.dossier,
                                                   delete=False)
        self.lance = time.monotonic()  # for timing the start-up
        self.processus = subprocess.Popen(
            commande, cwd=self.dossier, env=dict(os.environ, DISPLAY=serveur.nom)
            | prechargement() | (env or {}), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=self.erreurs, start_new_session=True)

    def __exit__(self, *erreur):
        arreter(self.processus)
        self.erreurs.close()
        if self.propre:
            shutil.rmtree(self.dossier, ignore_errors=True)

    def lire(self, nom):
        return (self.dossier / nom).read_bytes()

    def sortie_erreurs(self):
        self.erreurs.flush()
        return Path(self.erreurs.name).read_bytes()

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
        fenetre = int(self.xdotool("search", "--sync", "--all", "--onlyvisible", "--pid",
                                   self.processus.pid, "--name", "^%s$" % titre,
                                   delai=delai).split()[-1])
        if fenetre != self.fenetre:
            # SDL ignores a click that comes within 10 ms of the window getting the focus (the
            # click that focused it): focus it now, once.
            self.fenetre = fenetre
            self.xdotool("windowfocus", "--sync", fenetre)
            time.sleep(0.05)

    def touche(self, nom):
        self.xdotool("windowfocus", "--sync", self.fenetre, "key", nom)

    # A key for a window that has just had the keyboard's focus: Wine makes it the active window
    # a moment later, and drops what comes before. A key that changes the screen does so once.
    def appuyer(self, nom, titre):
        for _ in range(10):
            self.touche(nom)
            try:
                return self.attendre_titre("Pressathon - " + titre, delai=2)
            except subprocess.SubprocessError:
                pass
        raise AssertionError("%s never led to %s" % (nom, titre))

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
