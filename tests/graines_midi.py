#!/usr/bin/python3
"""Writes seed songs for the song-check fuzzer into a directory: the cases random mutation
rarely reaches (a tempo that races before a slow one, bursts at the limits, a short loop)."""

import os
import struct
import sys


def variable(n):
    octets = [n & 0x7F]
    while n > 0x7F:
        n >>= 7
        octets.insert(0, 0x80 | (n & 0x7F))
    return bytes(octets)


def morceau(evenements, fin, division=480):
    piste, avant = b"", 0
    for tick, octets in sorted(evenements, key=lambda e: e[0]):
        piste += variable(tick - avant) + bytes(octets)
        avant = tick
    piste += variable(fin - avant) + b"\xff\x2f\x00"
    return (b"MThd" + struct.pack(">IHHH", 6, 0, 1, division)
            + b"MTrk" + struct.pack(">I", len(piste)) + piste)


def tempo(us):
    return [0xFF, 0x51, 3] + list(us.to_bytes(3, "big"))


def note(i):
    return [0x90 | i % 16, 30 + i % 70, 100]


GRAINES = {
    # 10 ms a beat for one tick, then 2 s a beat: the player's clock, still at
    # the fast tempo, sends what follows at once.
    "tempo_qui_court": morceau([(0, tempo(10000)), (1, tempo(2000000))]
                               + [(2 + i, note(i)) for i in range(50)], 6000),
    "rafales": morceau([(20 * (i // 60), note(i)) for i in range(1200)], 440),
    "sysex": morceau([(20 * (i // 8), [0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7])
                      for i in range(160)], 420),
    "boucle_courte": morceau([(3 * i, note(i)) for i in range(30)], 100),
}

for nom, octets in GRAINES.items():
    with open(os.path.join(sys.argv[1], nom + ".mid"), "wb") as f:
        f.write(octets)
