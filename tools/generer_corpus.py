#!/usr/bin/python3
"""Writes the sound tests' songs (tests/corpus_midi/) and sounds (tests/sons/), byte for byte.

    tools/generer_corpus.py [TESTS_DIR]      (default: the tests/ beside tools/)

Each file is small and made for one case of the tests or one seed of the song fuzzer; the
READMEs of both folders say what each holds. The limits the songs sit at are written out here,
not read from the game, so that a limit changed there shows in the tests.
"""

import struct
import sys
from pathlib import Path


def nombre_variable(valeur):
    """A delta time or a length in 7-bit groups, most significant first."""
    octets = [valeur & 0x7F]
    valeur >>= 7
    while valeur:
        octets.insert(0, 0x80 | (valeur & 0x7F))
        valeur >>= 7
    return bytes(octets)


def piste(evenements, fin):
    """A track chunk: (tick, bytes) or (tick, bytes, rank) events, sorted by tick then rank
    (a note-off ranked before a note-on releases a repeated note first), every status byte
    written out, then the end of track at `fin`."""
    tries = sorted(evenements, key=lambda e: (e[0], e[2] if len(e) > 2 else 0))
    corps, tick = bytearray(), 0
    for e in tries + [(fin, b"\xff\x2f\x00")]:
        corps += nombre_variable(e[0] - tick) + bytes(e[1])
        tick = e[0]
    return b"MTrk" + struct.pack(">I", len(corps)) + corps


def midi(pistes, division=480, format_=None):
    """A Standard MIDI File of these track chunks; format 0 for one track, 1 for more."""
    format_ = (0 if len(pistes) == 1 else 1) if format_ is None else format_
    return b"MThd" + struct.pack(">IHHH", 6, format_, len(pistes), division) + b"".join(pistes)


def tempo(microsecondes):
    return b"\xff\x51\x03" + microsecondes.to_bytes(3, "big")


def wav(frequence, trames, amplitude, demi_periode, canaux=1, bits=16, reste=0):
    """A PCM WAV file: a square wave of `amplitude`, -amplitude first, switching sign every
    `demi_periode` frames, then `reste` bytes of zeros."""
    trame = canaux * bits // 8
    octets = trames * trame + reste
    entete = b"RIFF" + struct.pack("<I", 36 + octets) + b"WAVEfmt " + struct.pack(
        "<IHHIIHH", 16, 1, canaux, frequence, frequence * trame, trame, bits)
    donnees = bytearray()
    for i in range(trames * canaux):
        valeur = amplitude if (i // canaux // demi_periode) % 2 else -amplitude
        donnees += (valeur & (1 << bits) - 1).to_bytes(bits // 8, "little")
    return entete + b"data" + struct.pack("<I", octets) + donnees + bytes(reste)


def note(i):
    return bytes([0x90 | i % 16, i * 5 % 48, 127])


def morceau_limite(genre, en_plus=False):
    """The costliest songs the check accepts at 480 ticks a beat and 120 beats a minute, where
    it counts 20 ticks for a 512-frame buffer: one buffer as costly as allowed (note-ons that
    steal all 48 voices and pan changes that update them all; or resets among a few notes),
    the shortest loop, or the most events parsed at each pass. With `en_plus`, one event too
    many, or a loop a little too short. Strings on every channel first (six voices a low note).

    The check allows 3,450,000 ns of events a buffer, at 12,000 a note-on, 600 any other event,
    and for every voice sounding on its channel 130 more a controller, 650 more a reset of all
    controllers, 10,000 a system-exclusive reset; 50 an event parsed at each pass."""
    e = [(0, bytes([0xC0 | canal, 48])) for canal in range(16)]
    tampon, pas, tampons, evenements = [], 40, 8, 0
    if genre == "notes":
        # On channel 0, at each of 11 ticks, 6 note-ons, then pan changes: 66 and 388, which
        # make 66 * 12,000 + 388 * (600 + 48 * 130) = 3,445,920.
        n = 454
        for i in range(n):
            debut_tick = (i * 11 // n * n + 10) // 11
            tampon.append(bytes([0x90, i * 5 % 48, 127]) if i - debut_tick < 6
                          else bytes([0xB0, 10, i % 128]))
    elif genre == "sysex":
        # 5 notes, then 100 resets of all controllers on channel 15 among 21 GM resets:
        # 5 * 12,000 + 100 * (600 + 48 * 650) + 21 * 10,000 = 3,450,000.
        tampon = [note(i) for i in range(5)]
        tampon += [b"\xbf\x79\x00" if i * 100 // 121 < (i + 1) * 100 // 121
                   else b"\xf0\x05\x7e\x7f\x09\x01\xf7" for i in range(121)]
    elif genre == "boucle":
        # Four buffers of 63 notes every 20 ticks: a pass of 0.104 s, or 0.099 s.
        tampon, pas, tampons = [note(i) for i in range(63)], 20, 4
    elif genre == "evenements":
        # Note-offs where nothing sounds (note-ons of velocity 0, as most songs write them):
        # with the programs and the end of track, 68,808 events parsed, and the 16 programs
        # sent around the loop: 68,808 * 50 + 16 * 600.
        tampon = [bytes([0x9F, i % 128, 0]) for i in range(690)]
        pas, evenements = 20, 68808 - 17 + en_plus
        tampons = (evenements + 689) // 690
    for t in range(tampons):
        n = min(690, evenements - t * 690) if evenements else len(tampon)
        for i in range(n + (en_plus and pas == 40 and t == 0)):
            tick = pas * (t + 1) + (i * 11 // n if pas == 40 else 0)
            e.append((tick, tampon[i] if i < len(tampon) else note(i)))
    fin = pas * (tampons + 1)
    return midi([piste(e, fin - 5 if genre == "boucle" and en_plus else fin)])


def morceau_en_boucle(pistes, battements, debut, fin, notes, graine):
    """A song shaped like those sequencers write to loop, at 96 ticks a beat: `pistes` tracks,
    one channel each (the drums on channel 9), `battements` beats long. On its first tick every
    channel is set (`debut` events of programs, controllers and pitch bends, with a chord), and
    set again in its last quarter beat (`fin` events); in between, `notes` notes spread over
    the tracks. `graine` varies the controllers' values."""
    division, longueur = 96, 96 * battements
    melodiques = [c for c in range(16) if c != 9]
    canaux = [melodiques[p % 15] for p in range(pistes - 1)] + [9]
    reglages = [0, 7, 10, 11, 91, 93, 1, 64, 101, 100, 6, 38, 32, 74, 71, 72, 73, 5, 65, 84]

    def reglage(i, canal, tick):
        """The i-th setting of a channel: a reset of all its controllers first when the song
        starts, then programs, pitch bends and controllers."""
        if i == 0 and tick == 0:
            return (tick, bytes([0xB0 | canal, 121, 0]))
        if i % 7 == 0:
            return (tick, bytes([0xC0 | canal, (graine * 7 + canal * 5 + i) % 128]))
        if i % 7 == 3:
            return (tick, bytes([0xE0 | canal, 0, 64]))
        controleur = reglages[i % len(reglages)]
        valeur = (graine + i * 13 + canal) % 128
        # Volume and expression stay high enough for the notes to be heard.
        valeur = 90 + valeur % 38 if controleur in (7, 11) else valeur
        return (tick, bytes([0xB0 | canal, controleur, valeur]))

    contenus = []
    for p, canal in enumerate(canaux):
        evenements = [(0, b"\xff\x03\x05piste")]
        if p == 0:
            evenements.append((0, tempo(500000 + 40000 * graine)))
        part = debut // pistes + (p < debut % pistes)
        evenements += [reglage(i, canal, 0) for i in range(part)]
        part = fin // pistes + (p < fin % pistes)
        # Within the last quarter beat, none on the end of track's own tick.
        evenements += [reglage(i, canal, longueur - 12 + i * 11 // max(part, 1))
                       for i in range(part)]
        contenus.append(evenements)
    # A chord on the first tick, then the notes, each held for an eighth.
    for p in range(min(4, pistes)):
        contenus[p].append((0, bytes([0x90 | canaux[p], 48 + 7 * p, 90]), 1))
        contenus[p].append((48, bytes([0x80 | canaux[p], 48 + 7 * p, 0])))
    for i in range(notes):
        p = i % pistes
        tick = 48 + (i * (longueur - 120)) // notes
        hauteur = 36 + (i * 7 + p * 3) % 48 if canaux[p] != 9 else 35 + i % 12
        contenus[p].append((tick, bytes([0x90 | canaux[p], hauteur, 70 + i % 50]), 1))
        contenus[p].append((tick + 48, bytes([0x80 | canaux[p], hauteur, 0])))
    return midi([piste(evenements, longueur) for evenements in contenus], division)


def fichiers_en_marge(piano):
    """Files at the edges of what the player reads: the header, the chunks, the file's size,
    the copied bytes, the tempo."""
    sortie = {
        # SMPTE time (25 frames of 40 ticks), and no division at all.
        "smpte": midi([piste(piano, 960)], division=0xE728),
        "division-nulle": midi([piste(piano, 960)], division=0),
        # A track chunk whose length runs one byte past the end of the file.
        "piste-trop-longue": bytearray(midi([piste(piano, 960)])),
        # Ticks of 1 us: a tempo of 1 us a beat at one tick a beat. Twenty notes, and the
        # pass ends after a millisecond.
        "ticks-1us": midi([piste([(0, tempo(1))] + [(i, bytes([0x90, 40 + i, 100]))
                                                    for i in range(20)], 1000)], division=1),
        # Four tempo changes (to the same tempo) in the shortest loop of limite-boucle: the
        # player may lose a tick at each, 0.099 s a pass instead of 0.103.
        "tempos-boucle-courte": midi([piste(
            [(0, tempo(500000))] + [(20 * k, tempo(500000)) for k in range(1, 5)]
            + [(20 * k, note(i)) for k in range(1, 5) for i in range(63)], 100)]),
        # A slow tempo (1 s a beat) from the first tick: 50 ticks of 2.08 ms make a pass of
        # 0.104 s, which half the tempo would not.
        "boucle-lente": midi([piste([(0, tempo(1000000))] + piano[:1], 52)]),
        # Nine of the longest deltas: past 2^31 ticks, which FluidSynth's clock cannot count.
        "ticks-hors-portee": midi([piste([(0x0FFFFFFF * k, b"\xff\x01\x01a")
                                          for k in range(1, 10)], 0x0FFFFFFF * 9)]),
        # An organ note struck in the middle of a 1-second pass and never released: it sounds
        # on into the next pass, as the song's own loop means it to.
        "note-tenue": midi([piste([(0, b"\xc0\x13"), (480, b"\x90\x3c\x6e")], 960)]),
    }
    # The meta events whose length FluidSynth checks, each at its length (a time signature, a
    # key signature, an SMPTE offset, a tempo); then an SMPTE offset a byte too long.
    metas = [(0, b"\xff\x58\x04\x04\x02\x18\x08"), (0, b"\xff\x59\x02\x00\x00"),
             (0, b"\xff\x54\x05\x60\x00\x00\x00\x00"), (0, tempo(500000))]
    sortie["metas"] = midi([piste(metas + piano, 960)])
    metas[2] = (0, b"\xff\x54\x06\x60\x00\x00\x00\x00\x00")
    sortie["metas-smpte-6"] = midi([piste(metas + piano, 960)])
    # Six thousand key signatures on one tick: read and dropped, never sent to the synthesizer,
    # they cost the parsing alone.
    sortie["metas-denses"] = midi([piste([(0, b"\xff\x59\x02\x00\x00")] * 6000 + piano, 960)])
    # A chunk of another kind before the track, as karaoke files have, holding what reads as
    # events: FluidSynth 2.3 spins for ever on it; and the same under a name not ASCII.
    for nom, autre in (("morceau-etranger", b"XFIH"), ("morceau-non-ascii", b"\x80\x81\x82\x83")):
        evenements = b"\x00\x90\x3c\x40\x83\x60\xff\x2f\x00"
        morceau = autre + struct.pack(">I", len(evenements)) + evenements
        sortie[nom] = midi([morceau + piste(piano, 960)])
    fin = sortie["piste-trop-longue"]
    fin[18:22] = struct.pack(">I", len(fin) - 22 + 1)
    sortie["piste-trop-longue"] = bytes(fin)
    # 127 tracks, and 128, FluidSynth's most, on which its player spins.
    for n in (127, 128):
        sortie["pistes-%d" % n] = midi([piste(piano, 960)] + [piste([], 960)] * (n - 1))
    # Exactly 1 MiB of notes back to back, a text filling what is left.
    notes = [(0, bytes([0x90 | i % 16, i % 128, 1])) for i in range(262000)]
    # What the text leaves of 1 MiB once its delta, type and length are written.
    place = (1 << 20) - len(midi([piste(notes, 1)])) - 3
    reste = place - len(nombre_variable(place - len(nombre_variable(place))))
    sortie["dense-1mio"] = midi([piste(notes + [(0, b"\xff\x01" + nombre_variable(reste)
                                                 + b"a" * reste)], 1)])
    # The most events parsed at each pass, a 51,200-byte system-exclusive message's bytes
    # counting 100 of them (one per 512): 68,705 events, the message's 3 and its 100 bytes'.
    # With 512 bytes more, one too many.
    for nom, octets in (("limite-octets", 51200), ("limite-octets-plus", 51712)):
        e = [(0, bytes([0xC0 | canal, 48])) for canal in range(16)]
        e += [(20 + i // 690 * 20, bytes([0x8F, i % 128, 0])) for i in range(68705 - 17)]
        e.append((30, b"\xf0" + nombre_variable(octets) + bytes(octets - 1) + b"\xf7"))
        sortie[nom] = midi([piste(e, 20 + (68705 - 17) // 690 * 20 + 40)])
    return sortie


def chansons():
    """Every song of tests/corpus_midi/, by name."""
    piano = [(0, b"\x90\x3c\x6e"), (480, b"\x80\x3c\x00")]
    sortie = {
        "note-piano": midi([piste(piano, 960)]),
        "note-orgue": midi([piste([(0, b"\xc0\x13")] + piano, 960)]),
        # A tempo of 0 in a second track, halfway through the song.
        "tempo-nul": midi([piste(piano, 960), piste([(480, tempo(0))], 960)]),
        "textes-33000": midi([piste([(t, b"\xff\x01\x01a") for t in range(33000)], 33000)]),
        "tempo-qui-court": midi([piste(
            [(0, tempo(10000)), (1, tempo(2000000))]
            + [(2 + i, bytes([0x90, 30 + i, 100])) for i in range(50)], 6000)]),
        "boucle-chargee": midi([piste(
            [e for i in range(50) for e in ((i % 10, bytes([0xB0, 7, i])),
                                            (190 + i % 10, b"\xb0\x79\x00"))], 200)]),
        # A fuzzer's find, kept as found: its pass took 34 ms less than an earlier check
        # foresaw, for the player rounds its clock to a tick at each tempo change.
        "tempos-arrondis": bytes.fromhex(
            "4d546864000000060000000101e04d54726b0000001100ff5103ff001009ff5103ff092c2bcb5800"
            "cc60b9cd00000000000000002800f0057e7f0901f700f0057e6401903f64019040640190212181108135"
            "214c6401904d904e64019064a63dff2f0093"),
    }
    for genre in ("notes", "sysex", "boucle", "evenements"):
        sortie["limite-" + genre] = morceau_limite(genre)
        sortie["limite-" + genre + "-plus"] = morceau_limite(genre, True)
    sortie.update(fichiers_en_marge(piano))
    # Three songs written to loop, as players bring them: 2.5 to 3.7 minutes of 12 to 17
    # tracks, every channel set on the first tick and again in the last quarter beat.
    for nom, forme in (("boucle-12-pistes", (12, 300, 340, 300, 1480, 0)),
                       ("boucle-15-pistes", (15, 360, 400, 290, 4200, 1)),
                       ("boucle-17-pistes", (17, 444, 430, 300, 7350, 2))):
        sortie[nom] = morceau_en_boucle(*forme)
    return sortie


def sons():
    """Every sound of tests/sons/, by name."""
    return {
        "constant-1000": wav(44100, 8820, -1000, 8820),
        "constant-10": wav(44100, 8820, -10, 8820),
        "4000hz": wav(4000, 100, 1000, 100),
        "1hz-4096s": wav(1, 4096, 1000, 100, 1, 8),
        "1hz-10s": wav(1, 10, 1000, 100, 1, 8),
        "384000hz": wav(384000, 4000, 1000, 100),
        "trois-voies": wav(44100, 400, 1000, 100, 3),
        "moins-qu-une-trame": wav(22050, 0, 1000, 100, 2, 16, 3),
        "plus-de-30s": wav(4000, 30 * 4000 + 1, 1000, 100),
        "48000hz-8bits-stereo": wav(48000, 100, 100, 10, 2, 8),
        "trame-partielle": wav(22050, 100, 1000, 100, 2, 16, 3),
    }


def main():
    tests = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent / "tests"
    for dossier, fichiers, extension in (("corpus_midi", chansons(), ".mid"),
                                         ("sons", sons(), ".wav")):
        (tests / dossier).mkdir(parents=True, exist_ok=True)
        for nom, octets in fichiers.items():
            (tests / dossier / (nom + extension)).write_bytes(octets)


if __name__ == "__main__":
    main()
