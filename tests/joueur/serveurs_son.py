#!/usr/bin/python3
# Sound servers of the tests' and the bench's own, each in a private runtime directory: PipeWire
# as a desktop runs it, or PulseAudio; each plays to a null sink, its default, whose monitor can
# be recorded.
#
#     with pipewire() as serveur:   # a session bus, pipewire, wireplumber, pipewire-pulse
#         subprocess.run(commande, env=os.environ | serveur.env)
#
# Every process started is a child of ours in a group of its own (no daemon forks away), ended
# with its group on leaving, even on failure; the directory is then removed.

import contextlib
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
from pathlib import Path

PUITS = "clic"
# What a client would otherwise take from our environment: another server, or a way to start one.
ETRANGERES = ("PIPEWIRE_REMOTE", "PIPEWIRE_RUNTIME_DIR", "PULSE_SERVER", "PULSE_RUNTIME_PATH",
              "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "SDL_AUDIODRIVER", "PIPEWIRE_LATENCY")


def repond(chemin):
    with socket.socket(socket.AF_UNIX) as prise:
        prise.settimeout(0.2)
        return prise.connect_ex(str(chemin)) == 0


class Serveur:
    def __init__(self):
        self.dossier = Path(tempfile.mkdtemp(prefix="pressathon-son-"))  # 0700, ours
        (self.dossier / "client.conf").write_text("autospawn = no\n")
        self.processus = []
        # The clients' variables; the servers run with them and a home of their own.
        self.env = {"XDG_RUNTIME_DIR": str(self.dossier),
                    "PULSE_CLIENTCONFIG": str(self.dossier / "client.conf")}
        self.env_serveurs = {k: v for k, v in os.environ.items()
                             if k not in ETRANGERES + ("DISPLAY",)} | self.env | {
            "HOME": str(self.dossier), "XDG_CONFIG_HOME": str(self.dossier / "config")}
        self.moniteur = PUITS + ".monitor"

    def lancer(self, *commande):
        with open(self.dossier / (commande[0] + ".log"), "wb") as journal:
            self.processus.append(subprocess.Popen(
                commande, env=self.env_serveurs, stdin=subprocess.DEVNULL, stdout=journal,
                stderr=subprocess.STDOUT, cwd=self.dossier, start_new_session=True))

    def attendre(self, quoi, condition, delai=15):
        limite = time.monotonic() + delai
        while not condition():
            mort = [p.args[0] for p in self.processus if p.poll() is not None]
            if mort or time.monotonic() > limite:
                journaux = "".join("== %s\n%s" % (p.args[0], (self.dossier / (p.args[0] + ".log"))
                                                  .read_text()[-1500:]) for p in self.processus)
                raise RuntimeError("no %s (%s):\n%s" % (quoi, ", ".join(mort) or "too long",
                                                        journaux))
            time.sleep(0.02)

    def pactl(self, *arguments):
        return subprocess.run(["pactl", *arguments], env=self.env_serveurs, check=True,
                              capture_output=True, text=True, timeout=5).stdout

    def puits_par_defaut(self):
        # Taken by the server in its own time.
        self.pactl("set-default-sink", PUITS)
        self.attendre("null sink as default", lambda: "Default Sink: %s\n" % PUITS
                      in self.pactl("info"))

    def arreter(self):
        for processus in reversed(self.processus):
            with contextlib.suppress(ProcessLookupError):
                os.killpg(processus.pid, signal.SIGTERM)
            with contextlib.suppress(subprocess.TimeoutExpired):
                processus.wait(3)
            with contextlib.suppress(ProcessLookupError):
                os.killpg(processus.pid, signal.SIGKILL)
            processus.wait()
        shutil.rmtree(self.dossier, ignore_errors=True)


# PipeWire as a desktop runs it; or, without `gestionnaire`, the server alone, with no session
# manager to link a stream and no sink to play it.
@contextlib.contextmanager
def pipewire(gestionnaire=True):
    serveur = Serveur()
    try:
        # WirePlumber does not start without a session bus.
        bus = serveur.dossier / "bus"
        serveur.lancer("dbus-daemon", "--session", "--nofork", "--nopidfile", "--nosyslog",
                       "--address=unix:path=%s" % bus)
        serveur.attendre("session bus", lambda: repond(bus))
        serveur.env_serveurs["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=%s" % bus
        serveur.lancer("pipewire")
        serveur.attendre("pipewire", lambda: repond(serveur.dossier / "pipewire-0"))
        if not gestionnaire:
            yield serveur
            return
        # Nothing Bluetooth: its monitor asks systemd's logind, which a bare machine (or a
        # chroot) has not, and WirePlumber then stops.
        bluetooth = serveur.dossier / "config" / "wireplumber" / "bluetooth.lua.d"
        bluetooth.mkdir(parents=True)
        (bluetooth / "80-sans-bluetooth.lua").write_text("bluez_monitor.enabled = false\n")
        serveur.lancer("wireplumber")
        serveur.attendre("session manager", lambda: b'metadata.name = "default"' in subprocess.run(
            ["pw-cli", "ls", "Metadata"], env=serveur.env_serveurs, capture_output=True,
            timeout=5).stdout)
        serveur.lancer("pipewire-pulse")
        serveur.attendre("pipewire-pulse", lambda: repond(serveur.dossier / "pulse" / "native"))
        serveur.pactl("load-module", "module-null-sink", "sink_name=" + PUITS)
        serveur.puits_par_defaut()
        yield serveur
    finally:
        serveur.arreter()


# No server at all: a runtime directory where nothing answers.
@contextlib.contextmanager
def aucun():
    serveur = Serveur()
    yield serveur
    serveur.arreter()


@contextlib.contextmanager
def pulseaudio():
    serveur = Serveur()
    try:
        (serveur.dossier / "serveur.pa").write_text(
            "load-module module-native-protocol-unix auth-anonymous=1\n"
            # No rewinds: the monitor's recording then follows the clock.
            "load-module module-null-sink sink_name=%s rate=44100 norewinds=1\n" % PUITS)
        serveur.lancer("pulseaudio", "-n", "-F", str(serveur.dossier / "serveur.pa"),
                       "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no")
        serveur.attendre("pulseaudio", lambda: repond(serveur.dossier / "pulse" / "native"))
        serveur.puits_par_defaut()
        yield serveur
    finally:
        serveur.arreter()
