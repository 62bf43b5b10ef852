#!/usr/bin/python3
"""A real X server (Xvfb), the real game in a real window, and a player's hands (xdotool)."""

import atexit
import functools
import os
import random
import re
import select
import shutil
import signal
import stat
import subprocess
import tempfile
import time

from PIL import Image
from Xlib import X, Xatom, display, protocol

PROGRAMME = os.environ.get("PRESSATHON_PROGRAMME", "build/pressathon")
DONNEES = os.environ.get("PRESSATHON_DONNEES", "data")
MESA_LOGICIEL = "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so"


@functools.lru_cache(maxsize=None)
def programme_joueur():
    """The program to run. A sanitizer build is started with Mesa's software driver
    loaded from the start: Mesa unloads that driver when the window closes, and
    LeakSanitizer would then report what the driver's own globals still hold, from a
    library it can no longer name."""
    cible = os.path.abspath(PROGRAMME)
    liens = subprocess.run(["ldd", cible], capture_output=True, text=True).stdout
    asan = re.search(r"libasan\.so\S* => (\S+)", liens)
    if not asan or not os.path.exists(MESA_LOGICIEL):
        return cible
    dossier = tempfile.mkdtemp(prefix="pressathon-lanceur-")
    atexit.register(shutil.rmtree, dossier, True)
    chemin = os.path.join(dossier, "pressathon")
    with open(chemin, "w") as sortie:
        sortie.write('#!/bin/sh\nexport LD_PRELOAD="%s %s${LD_PRELOAD:+ $LD_PRELOAD}"\n'
                     'exec "%s"\n' % (asan.group(1), MESA_LOGICIEL, cible))
    os.chmod(chemin, stat.S_IRWXU)
    return chemin


def sans_fuites(env=None):
    """The environment for a run that ends without releasing what it holds."""
    options = os.environ.get("ASAN_OPTIONS", "")
    return dict(env or {}, ASAN_OPTIONS=(options + ":" if options else "") + "detect_leaks=0")


class ServeurX:
    """An Xvfb server on a free display number; stopped on exit.

    The number is drawn at random far from the usual low ones, so that
    servers started by parallel tests (or left behind by a killed one) do not
    meet; a server that cannot take its number is started again on another.
    """

    def __enter__(self):
        for _ in range(20):
            numero = random.randint(100, 30000)
            if os.path.exists("/tmp/.X%d-lock" % numero):
                continue
            if self._demarrer(numero):
                return self
        raise RuntimeError("no Xvfb server could be started")

    def _demarrer(self, numero):
        lecture, ecriture = os.pipe()
        self.processus = subprocess.Popen(
            ["Xvfb", ":%d" % numero, "-displayfd", str(ecriture), "-screen", "0",
             "1024x768x24", "-nolisten", "tcp", "-noreset"],
            pass_fds=(ecriture,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(ecriture)
        try:
            pret, _, _ = select.select([lecture], [], [], 15)
            annonce = os.read(lecture, 16).decode().strip() if pret else ""
        finally:
            os.close(lecture)
        if annonce != str(numero):
            arreter(self.processus)
            return False
        self.nom = ":%d" % numero
        try:
            self.x = display.Display(self.nom)
        except Exception:
            arreter(self.processus)
            return False
        return True

    def __exit__(self, *erreur):
        try:
            self.x.close()
        finally:
            arreter(self.processus)


def arreter(processus):
    """Ends a process and its group, politely first."""
    if processus.poll() is not None:
        return
    for sig, delai in ((signal.SIGTERM, 3), (signal.SIGKILL, 5)):
        try:
            os.killpg(processus.pid, sig)
        except ProcessLookupError:
            return
        try:
            processus.wait(delai)
            return
        except subprocess.TimeoutExpired:
            pass


class Partie:
    """The game running in a private copy of data/, with its window and its stderr."""

    def __init__(self, serveur, retirer=(), fichiers=None, programme=None, env=None):
        self.serveur = serveur
        self.dossier = tempfile.mkdtemp(prefix="pressathon-joueur-")
        shutil.copytree(DONNEES, self.dossier, dirs_exist_ok=True)
        for chemin in retirer:
            complet = os.path.join(self.dossier, chemin)
            if os.path.isdir(complet):
                shutil.rmtree(complet)
            elif os.path.exists(complet):
                os.remove(complet)
        for chemin, contenu in (fichiers or {}).items():
            with open(os.path.join(self.dossier, chemin), "wb") as sortie:
                sortie.write(contenu)
        self.erreurs = open(os.path.join(self.dossier, "..stderr"), "w+b")
        environnement = dict(os.environ, DISPLAY=serveur.nom, **(env or {}))
        self.debut = time.monotonic()
        self.processus = subprocess.Popen(
            [os.path.abspath(programme) if programme else programme_joueur()],
            cwd=self.dossier, env=environnement,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.erreurs,
            start_new_session=True)
        self.id_fenetre = None

    def __enter__(self):
        return self

    def __exit__(self, *erreur):
        arreter(self.processus)
        self.erreurs.close()
        shutil.rmtree(self.dossier, ignore_errors=True)

    def chemin(self, nom):
        return os.path.join(self.dossier, nom)

    def lire(self, nom):
        with open(self.chemin(nom), "rb") as entree:
            return entree.read()

    def stderr(self):
        self.erreurs.flush()
        with open(self.erreurs.name, "rb") as entree:
            return entree.read()

    # The window.

    def _fenetres(self, fenetre=None):
        fenetre = fenetre or self.serveur.x.screen().root
        try:
            enfants = fenetre.query_tree().children
        except Exception:
            # The window went away while it was being looked at.
            return
        for enfant in enfants:
            yield enfant
            yield from self._fenetres(enfant)

    def _titre_de(self, fenetre):
        try:
            nom = fenetre.get_full_property(Xatom.WM_NAME, X.AnyPropertyType)
        except Exception:
            return None
        return nom.value.decode("latin-1") if nom else None

    def titre(self):
        """The caption of the window this game's own process shows, looked up
        again if that window goes (sdl12-compat makes a new one on some
        changes of video mode)."""
        if self.id_fenetre is not None:
            try:
                if self._fenetre().get_attributes().map_state == X.IsViewable:
                    return self._titre_de(self._fenetre())
            except Exception:
                pass
            self.id_fenetre = None
        atome = self.serveur.x.intern_atom("_NET_WM_PID")
        for fenetre in self._fenetres():
            try:
                pid = fenetre.get_full_property(atome, X.AnyPropertyType)
                vue = fenetre.get_attributes().map_state == X.IsViewable
            except Exception:
                continue
            titre = self._titre_de(fenetre)
            if pid and pid.value[0] == self.processus.pid and vue and titre:
                self.id_fenetre = fenetre.id
                return titre
        return None

    def propriete(self, nom):
        return self._fenetre().get_full_property(self.serveur.x.intern_atom(nom),
                                                 X.AnyPropertyType)

    def _fenetre(self):
        return self.serveur.x.create_resource_object("window", self.id_fenetre)

    def attendre(self, condition, delai=10.0, quoi="condition"):
        limite = time.monotonic() + delai
        while time.monotonic() < limite:
            valeur = condition()
            if valeur:
                return valeur
            if self.processus.poll() is not None:
                break
            time.sleep(0.05)
        valeur = condition()
        if valeur:
            return valeur
        raise AssertionError("waited in vain for %s (exit status %s)"
                             % (quoi, self.processus.poll()))

    def attendre_titre(self, titre, delai=10.0):
        self.attendre(lambda: self.titre() == titre, delai, "the title %r" % titre)

    def taille(self):
        geometrie = self._fenetre().get_geometry()
        return geometrie.width, geometrie.height

    def attendre_taille(self, taille, delai=10.0):
        self.attendre(lambda: self.taille() == taille, delai, "the size %r" % (taille,))

    def capture(self):
        """The window's pixels as an RGB image."""
        fenetre = self._fenetre()
        geometrie = fenetre.get_geometry()
        image = fenetre.get_image(0, 0, geometrie.width, geometrie.height, X.ZPixmap,
                                  0xFFFFFFFF)
        return Image.frombytes("RGB", (geometrie.width, geometrie.height), image.data,
                               "raw", "BGRX")

    # The player's hands.

    def _xdotool(self, *arguments):
        subprocess.run(["xdotool", *arguments], check=True, timeout=10,
                       env=dict(os.environ, DISPLAY=self.serveur.nom))

    def touche(self, nom):
        self._xdotool("windowfocus", "--sync", str(self.id_fenetre))
        self._xdotool("key", nom)

    def clic(self, x=400, y=300, fois=1):
        self._xdotool("mousemove", "--window", str(self.id_fenetre), str(x), str(y),
                      "click", "--repeat", str(fois), "--delay", "30", "1")

    def bouger(self, x, y):
        self._xdotool("mousemove", "--window", str(self.id_fenetre), str(x), str(y))

    def fermer(self):
        """The window's close button: a WM_DELETE_WINDOW request from the window manager."""
        x = self.serveur.x
        fenetre = self._fenetre()
        message = protocol.event.ClientMessage(
            window=fenetre, client_type=x.intern_atom("WM_PROTOCOLS"),
            data=(32, [x.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        fenetre.send_event(message, event_mask=X.NoEventMask)
        x.flush()

    def attendre_fin(self, delai=20.0):
        return self.processus.wait(delai)


def ecart(image, reference, boite):
    """Mean absolute difference per channel (0 to 255) of two images over a box."""
    a = image.crop(boite).convert("RGB").tobytes()
    b = reference.crop(boite).convert("RGB").tobytes()
    return sum(abs(p - q) for p, q in zip(a, b)) / max(1, len(a))


def sur_blanc(chemin):
    """A picture as the game draws it: on white, its transparency flattened."""
    image = Image.open(chemin).convert("RGBA")
    fond = Image.new("RGBA", image.size, (255, 255, 255, 255))
    return Image.alpha_composite(fond, image).convert("RGB")
