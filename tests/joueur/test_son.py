#!/usr/bin/python3
# Where the game's sound goes on a machine with a sound server: through SDL's own PipeWire driver
# when PipeWire runs as a desktop runs it, through the server as before otherwise.

import json
import os
import subprocess
import unittest

from serveurs_son import aucun, pipewire, pulseaudio
from session import Partie, ServeurX


class Son(unittest.TestCase):
    def setUp(self):
        self.serveur = self.enterContext(ServeurX())

    # The game in its menu, its song playing, on that server; what the monitor records next.
    def jouer(self, son, env=None):
        partie = self.enterContext(Partie(self.serveur, env=son.env | (env or {})))
        partie.attendre_titre("Pressathon - HOME")
        enregistrement = subprocess.run(
            ["timeout", "1.5", "parec", "-d", son.moniteur, "--raw", "--format=s16le",
             "--latency=2048"],
            env=son.env_serveurs, capture_output=True).stdout
        self.assertTrue(any(enregistrement), "nothing heard from the game")
        return partie

    # The streams that PipeWire plays for the game: their latency, and which API they come by.
    def flux(self, son, partie):
        objets = json.loads(subprocess.run(["pw-dump"], env=son.env_serveurs, check=True,
                                           capture_output=True, text=True).stdout)
        return [(p.get("node.latency"), p.get("client.api", "pipewire"))
                for p in ((o.get("info") or {}).get("props") or {} for o in objets)
                if p.get("media.class") == "Stream/Output/Audio"
                and p.get("application.process.id") == partie.processus.pid]

    def test_through_pipewire_its_own_driver_with_a_short_latency(self):
        with pipewire() as son:
            partie = self.jouer(son)
            self.assertEqual(self.flux(son, partie), [("256/44100", "pipewire")])
            # A driver or a latency the player names is theirs.
            partie = self.jouer(son, {"SDL_AUDIODRIVER": "pulseaudio"})
            self.assertEqual([api for _, api in self.flux(son, partie)], ["pipewire-pulse"])
            partie = self.jouer(son, {"PIPEWIRE_LATENCY": "1024/44100"})
            self.assertEqual(self.flux(son, partie), [("1024/44100", "pipewire")])

    def test_otherwise_as_before(self):
        with pulseaudio() as son:
            partie = self.jouer(son)
            entrees = son.pactl("list", "sink-inputs")
            self.assertIn('application.process.id = "%d"' % partie.processus.pid, entrees)
        # PipeWire with no session manager to link a stream (SDL's PipeWire driver would wait
        # for it for ever), or no server at all: the game starts, in silence, and answers.
        for son in (pipewire(gestionnaire=False), aucun()):
            with son as son, Partie(self.serveur, env=son.env) as partie:
                partie.attendre_titre("Pressathon - HOME")
                partie.touche("Escape")
                partie.attendre_titre("Pressathon - CREDITS")


if __name__ == "__main__":
    unittest.main()
