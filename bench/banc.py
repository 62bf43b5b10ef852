"""The benchmarks' harness: Xvfb on a free display, the game under it, XTest hands, a witness."""

import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from Xlib import X, XK, display, error
from Xlib.ext import xinput, xtest

SCORES = "highscores.tallyvault"


def temps_cpu(pid):
    """utime + stime of the whole process (all its threads), in seconds."""
    with open("/proc/%d/stat" % pid) as f:
        champs = f.read().rsplit(")", 1)[1].split()
    return (int(champs[11]) + int(champs[12])) / os.sysconf("SC_CLK_TCK")


def arreter(processus):
    """Ends a process and its group, politely first."""
    for sig, delai in ((signal.SIGTERM, 3), (signal.SIGKILL, 5)):
        if processus.poll() is not None:
            return
        try:
            os.killpg(processus.pid, sig)
            processus.wait(delai)
        except (ProcessLookupError, subprocess.TimeoutExpired):
            pass


class ServeurX:
    """An Xvfb server on a display number it finds free itself (-displayfd).

    A start that fails (a loaded machine makes it happen) is tried again for
    up to a minute."""

    def __enter__(self):
        limite = time.monotonic() + 60
        while True:
            raison = self._demarrer()
            if raison is None:
                return self
            if time.monotonic() > limite:
                raise RuntimeError("no Xvfb server could be started: " + raison)
            print("Xvfb start failed, trying again: " + raison, file=sys.stderr)
            time.sleep(1)

    def _demarrer(self):
        lecture, ecriture = os.pipe()
        self.processus = subprocess.Popen(
            ["Xvfb", "-displayfd", str(ecriture), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(ecriture,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        os.close(ecriture)
        # Read to the newline before closing: Xvfb writes the number and the
        # newline separately and dies if the second write finds the pipe closed.
        numero = b""
        limite = time.monotonic() + 30
        while not numero.endswith(b"\n") and time.monotonic() < limite:
            morceau = os.read(lecture, 16)
            if not morceau:
                break
            numero += morceau
        os.close(lecture)
        if numero.strip().isdigit():
            self.nom = ":" + numero.decode().strip()
            try:
                self.x = display.Display(self.nom)
                return None
            except Exception as erreur:  # noqa: BLE001 - any failure to connect is retried
                arreter(self.processus)
                return "cannot connect to %s: %s" % (self.nom, erreur)
        arreter(self.processus)
        return "no display number (status %s)" % self.processus.returncode

    def __exit__(self, *erreur):
        try:
            self.x.close()
        finally:
            arreter(self.processus)


class Jeu:
    """The game in a private copy of the data, its score file at "0 0 0 0 0", and a player's
    hands (XTest). Its standard output goes to the file "..sortie" of that copy; with
    `entree`, its standard input is a pipe left open until `fermer_entree`."""

    def __init__(self, serveur, programme, donnees, env=None, entree=False):
        self.dossier = tempfile.mkdtemp(prefix="pressathon-bench-")
        shutil.copytree(donnees, self.dossier, dirs_exist_ok=True)
        self.ecrire(SCORES, b"0 0 0 0 0")
        self.x = display.Display(serveur.nom)
        self.sortie = open(self.chemin("..sortie"), "wb")
        self.erreurs = open(self.chemin("..stderr"), "w+b")
        self.processus = subprocess.Popen(
            [programme], cwd=self.dossier, env=dict(os.environ, DISPLAY=serveur.nom, **(env or {})),
            stdin=subprocess.PIPE if entree else subprocess.DEVNULL, stdout=self.sortie,
            stderr=self.erreurs, start_new_session=True)
        self.fenetre = None
        self.focalisee = None

    def __enter__(self):
        return self

    def __exit__(self, *erreur):
        arreter(self.processus)
        self.x.close()
        self.sortie.close()
        self.erreurs.close()
        shutil.rmtree(self.dossier, ignore_errors=True)

    def chemin(self, nom):
        return os.path.join(self.dossier, nom)

    def lire(self, nom):
        with open(self.chemin(nom), "rb") as f:
            return f.read()

    def ecrire(self, nom, octets):
        with open(self.chemin(nom), "wb") as f:
            f.write(octets)

    def stderr(self):
        self.erreurs.flush()
        return self.lire("..stderr")

    def fermer_entree(self):
        if self.processus.stdin:
            self.processus.stdin.close()

    def _trouver(self):
        """The mapped top-level window whose _NET_WM_PID is the game's (SDL may replace it)."""
        atome = self.x.intern_atom("_NET_WM_PID")
        for enfant in self.x.screen().root.query_tree().children:
            valeur = enfant.get_full_property(atome, X.AnyPropertyType)
            if (valeur and valeur.value[0] == self.processus.pid
                    and enfant.get_attributes().map_state == X.IsViewable):
                return enfant
        return None

    def titre(self):
        try:
            if self.fenetre is None:
                self.fenetre = self._trouver()
            nom = self.fenetre.get_wm_name() if self.fenetre else None
        except error.XError:
            self.fenetre = None
            return None
        return nom.decode("latin-1") if isinstance(nom, bytes) else nom

    def attendre_titre(self, titre, delai=10, pas=0.02):
        """Polls the caption every `pas` seconds. A window seen for the first time gets the
        focus, then 50 ms: SDL ignores a click within 10 ms of the focus coming in."""
        limite = time.monotonic() + delai
        cherchee = time.monotonic()
        while self.titre() != titre:
            if time.monotonic() > limite or self.processus.poll() is not None:
                raise RuntimeError("no caption %r within %s s (status %s)"
                                   % (titre, delai, self.processus.poll()))
            if time.monotonic() - cherchee > 0.02:
                self.fenetre, cherchee = None, time.monotonic()
            time.sleep(pas)
        if self.fenetre.id != self.focalisee:
            self.focalisee = self.fenetre.id
            self.fenetre.set_input_focus(X.RevertToParent, X.CurrentTime)
            self.x.sync()
            time.sleep(0.05)

    def origine(self):
        """The window's top-left corner in root coordinates."""
        coin = self.fenetre.translate_coords(self.x.screen().root, 0, 0)
        return -coin.x, -coin.y

    def pointer(self, x, y):
        """Moves the pointer to (x, y) of the window."""
        ox, oy = self.origine()
        xtest.fake_input(self.x, X.MotionNotify, x=ox + x, y=oy + y)
        self.x.sync()

    def touche(self, nom):
        """A press and release of the key named like an X keysym ("1", "Escape")."""
        code = self.x.keysym_to_keycode(XK.string_to_keysym(nom))
        xtest.fake_input(self.x, X.KeyPress, code)
        xtest.fake_input(self.x, X.KeyRelease, code)
        self.x.sync()


class Temoin:
    """A second X client that notes what the server generated: raw events reach it whatever
    grab is active (from XInput 2.2 on; python-xlib asks for 2.0 unless told).

    `relever` returns the new events as (kind, server time in ms, button or 0)."""

    APPUI, RELACHE, MOUVEMENT = "appui", "relache", "mouvement"

    def __init__(self, nom):
        self.x = display.Display(nom)
        xinput.XIQueryVersion(display=self.x.display,
                              opcode=self.x.display.get_extension_major(xinput.extname),
                              major_version=2, minor_version=2)
        # The master pointer only: its XTest slave would report each event again.
        self.x.screen().root.xinput_select_events([
            (xinput.AllMasterDevices,
             xinput.RawMotionMask | xinput.RawButtonPressMask | xinput.RawButtonReleaseMask)])
        self.x.sync()

    def relever(self):
        genres = {xinput.RawButtonPress: self.APPUI, xinput.RawButtonRelease: self.RELACHE,
                  xinput.RawMotion: self.MOUVEMENT}
        vus = []
        self.x.sync()
        while self.x.pending_events():
            evenement = self.x.next_event()
            genre = genres.get(getattr(evenement, "evtype", None))
            if genre:
                # python-xlib leaves raw events unparsed: device (16 bits), time, detail.
                _, temps, detail = struct.unpack_from("=HII", evenement.data)
                vus.append((genre, temps, detail))
        return vus

    def fermer(self):
        self.x.close()


def ms_serveur(temps, reference_s):
    """A server timestamp (CLOCK_MONOTONIC milliseconds, 32 bits) as full milliseconds, taken
    in the wrap-around nearest to `reference_s` (time.monotonic() seconds)."""
    tour = 1 << 32
    return temps + tour * round((reference_s * 1000 - temps) / tour)
