#!/usr/bin/python3
"""Synthesizes the game's two sound effects as 44100 Hz 16-bit mono WAV files."""

import math
import random
import struct
import sys
import wave
from pathlib import Path

TAUX = 44100


def fondu(echantillons, entree, sortie):
    """Raised-cosine fades at both ends, so the sound starts and stops at zero without a pop."""
    n = len(echantillons)
    a, b = int(entree * TAUX), int(sortie * TAUX)
    for i in range(a):
        echantillons[i] *= 0.5 - 0.5 * math.cos(math.pi * i / a)
    for i in range(b):
        echantillons[n - 1 - i] *= 0.5 - 0.5 * math.cos(math.pi * i / b)
    echantillons[0] = echantillons[-1] = 0.0
    return echantillons


def normaliser(echantillons, crete):
    maximum = max(abs(x) for x in echantillons)
    return [x * crete / maximum for x in echantillons]


def ecrire_wav(chemin, echantillons):
    with wave.open(str(chemin), "wb") as sortie:
        sortie.setnchannels(1)
        sortie.setsampwidth(2)
        sortie.setframerate(TAUX)
        sortie.writeframes(b"".join(struct.pack("<h", round(max(-1.0, min(1.0, x)) * 32767))
                                    for x in echantillons))


def clic():
    """A crisp tick: two short tones and a breath of filtered noise, 40 ms."""
    alea = random.Random(7)
    n = int(0.040 * TAUX)
    sortie = []
    bruit_filtre = 0.0
    for i in range(n):
        t = i / TAUX
        ton = (math.sin(2 * math.pi * 2350 * t) * 0.8 + math.sin(2 * math.pi * 1180 * t) * 0.5) * math.exp(-t / 0.007)
        # One-pole high-pass on white noise keeps only the bright click of the attack.
        blanc = alea.uniform(-1, 1)
        bruit_filtre = 0.6 * bruit_filtre + 0.4 * blanc
        bruit = (blanc - bruit_filtre) * math.exp(-t / 0.0025)
        sortie.append(ton + bruit * 0.9)
    return fondu(normaliser(sortie, 0.72), 0.0008, 0.012)


def cloche(frequence, t, duree_decroissance):
    """A bell-like tone: a few inharmonic partials, the upper ones dying faster."""
    partiels = ((1.0, 1.0, 1.0), (2.0, 0.45, 0.55), (3.01, 0.22, 0.35), (4.2, 0.1, 0.2))
    return sum(amplitude * math.sin(2 * math.pi * frequence * rapport * t) * math.exp(-t / (duree_decroissance * vitesse))
               for rapport, amplitude, vitesse in partiels)


def jingle_fin():
    """The end-of-game 'ta-da': a rising C major arpeggio landing on a ringing chord, 1.1 s."""
    duree = 1.1
    n = int(duree * TAUX)
    sortie = [0.0] * n
    do = 523.25
    notes = [(0.00, do, 0.18, 0.8), (0.09, do * 1.25992, 0.18, 0.8), (0.18, do * 1.49831, 0.18, 0.85),
             (0.30, do * 2, 0.45, 1.0), (0.30, do * 1.49831, 0.45, 0.55), (0.30, do * 1.25992, 0.45, 0.5),
             (0.30, do / 2, 0.5, 0.6)]
    for debut, frequence, decroissance, volume in notes:
        d = int(debut * TAUX)
        for i in range(n - d):
            t = i / TAUX
            attaque = min(1.0, t / 0.003)
            sortie[d + i] += volume * attaque * cloche(frequence, t, decroissance)
    return fondu(normaliser(sortie, 0.8), 0.002, 0.08)


def main():
    dossier = Path(sys.argv[1] if len(sys.argv) > 1 else "data") / "SFX"
    dossier.mkdir(parents=True, exist_ok=True)
    ecrire_wav(dossier / "click.wav", clic())
    ecrire_wav(dossier / "finJeuClickClassic.wav", jingle_fin())


if __name__ == "__main__":
    main()
