#!/usr/bin/python3
"""Composes the game's five songs and writes them as General MIDI files (SMF format 1)."""

import struct
import sys
from pathlib import Path

PPQ = 480  # ticks per quarter note

# General MIDI programs and drum keys used below.
VIBRAPHONE, MARIMBA, PIANO_ELEC = 11, 12, 4
GUITARE_NYLON, BASSE_DOIGTS, BASSE_ACOUSTIQUE, BASSE_SYNTH = 24, 33, 32, 38
CORDES, TROMPETTE, CUIVRES_SYNTH, FLUTE = 48, 56, 62, 73
LEAD_CARRE, LEAD_SCIE = 80, 81
GROSSE_CAISSE, BAGUETTE_BORD, CAISSE_CLAIRE, CHARLEY_FERME = 36, 37, 38, 42
CHARLEY_OUVERT, CYMBALE_CRASH, CYMBALE_RIDE, TOM_AIGU, TOM_MEDIUM, TOM_GRAVE = 46, 49, 51, 50, 47, 45
CANAL_BATTERIE = 9

NOTES = {"C": 0, "D": 2, "E": 4, "F": 5, "G": 7, "A": 9, "B": 11}


def hauteur(nom):
    """'C4' is middle C (60); 'Bb5' and 'F#3' take one accidental."""
    base = NOTES[nom[0]]
    reste = nom[1:]
    if reste[0] == "b":
        base -= 1
        reste = reste[1:]
    elif reste[0] == "#":
        base += 1
        reste = reste[1:]
    return 12 * (int(reste) + 1) + base


ACCORDS = {
    # name: root of the bass, then the voicing played by the harmony part
    "C": ("C2", ["C4", "E4", "G4"]),
    "Cmaj7": ("C2", ["E4", "G4", "B4", "C5"]),
    "Dm": ("D2", ["D4", "F4", "A4"]),
    "Dm7": ("D2", ["C4", "F4", "A4", "D5"]),
    "F": ("F2", ["C4", "F4", "A4"]),
    "G": ("G2", ["B3", "D4", "G4"]),
    "G7": ("G2", ["B3", "D4", "F4", "G4"]),
    "Am": ("A2", ["C4", "E4", "A4"]),
    "Am7": ("A2", ["C4", "E4", "G4", "A4"]),
    "Bb": ("Bb2", ["D4", "F4", "Bb4"]),
}


def melodie(texte):
    """'E5:1 G5:.5 r:.5' -> [(pitch or None, beats)]."""
    sortie = []
    for jeton in texte.split():
        nom, duree = jeton.split(":")
        sortie.append((None if nom == "r" else hauteur(nom), float(duree)))
    return sortie


class Piste:
    def __init__(self, nom, canal, programme, volume=100, reverb=40):
        self.nom = nom
        self.canal = canal
        self.evenements = []  # (tick, order, bytes): note-offs sort before note-ons at one tick
        self.ajouter(0, bytes([0xC0 | canal, programme]))
        self.ajouter(0, bytes([0xB0 | canal, 7, volume]))
        self.ajouter(0, bytes([0xB0 | canal, 91, reverb]))

    def ajouter(self, tick, donnees, ordre=1):
        self.evenements.append((tick, ordre, donnees))

    def note(self, debut, duree, hauteur_note, velocite):
        """Start and length in beats."""
        t0 = round(debut * PPQ)
        t1 = round((debut + duree) * PPQ)
        self.ajouter(t0, bytes([0x90 | self.canal, hauteur_note, velocite]), 2)
        self.ajouter(t1, bytes([0x80 | self.canal, hauteur_note, 0]), 0)

    def jouer_melodie(self, notes, debut=0.0, legato=0.92, velocite=96, transposition=0):
        t = debut
        for i, (h, duree) in enumerate(notes):
            if h is not None:
                accent = 8 if (t % 1) == 0 else 0
                self.note(t, duree * legato, h + transposition, min(127, velocite + accent - (i % 3) * 3))
            t += duree
        return t


def vlq(valeur):
    octets = [valeur & 0x7F]
    valeur >>= 7
    while valeur:
        octets.append(0x80 | (valeur & 0x7F))
        valeur >>= 7
    return bytes(reversed(octets))


def bloc_piste(evenements, fin):
    donnees = bytearray()
    precedent = 0
    for tick, _, octets in sorted(evenements, key=lambda e: (e[0], e[1])):
        assert tick <= fin, "a note runs past the end of the song"
        donnees += vlq(tick - precedent) + octets
        precedent = tick
    donnees += vlq(fin - precedent) + b"\xff\x2f\x00"
    return b"MTrk" + struct.pack(">I", len(donnees)) + bytes(donnees)


def meta(type_meta, contenu):
    return bytes([0xFF, type_meta]) + vlq(len(contenu)) + contenu


def ecrire_smf(chemin, titre, tempo_bpm, mesures, pistes):
    """Format 1: a conductor track, then one track per part; every track ends on the last bar line."""
    fin = mesures * 4 * PPQ
    conducteur = [
        (0, 0, meta(0x03, titre.encode("ascii"))),
        (0, 0, meta(0x58, bytes([4, 2, 24, 8]))),
        (0, 0, meta(0x51, struct.pack(">I", round(60_000_000 / tempo_bpm))[1:])),
    ]
    blocs = [bloc_piste(conducteur, fin)]
    for piste in pistes:
        blocs.append(bloc_piste([(0, -1, meta(0x03, piste.nom.encode("ascii")))] + piste.evenements, fin))
    entete = b"MThd" + struct.pack(">IHHH", 6, 1, len(blocs), PPQ)
    Path(chemin).write_bytes(entete + b"".join(blocs))


# Accompaniment patterns.


def basse(piste, grille, motif, velocite=100):
    """motif: (beat, length, interval in semitones above the root) repeated every bar."""
    for mesure, accord in enumerate(grille):
        racine = hauteur(ACCORDS[accord][0]) + 12
        for temps, duree, intervalle in motif:
            piste.note(mesure * 4 + temps, duree, racine + intervalle, velocite - (0 if temps == 0 else 10))


def harmonie(piste, grille, motif, velocite=70, transposition=0):
    """motif: (beat, length) chord hits repeated every bar."""
    for mesure, accord in enumerate(grille):
        for temps, duree in motif:
            for h in ACCORDS[accord][1]:
                piste.note(mesure * 4 + temps, duree, hauteur(h) + transposition, velocite)


def arpege(piste, grille, ordre, pas=0.5, velocite=72, transposition=0):
    for mesure, accord in enumerate(grille):
        voix = [hauteur(h) + transposition for h in ACCORDS[accord][1]]
        for i, indice in enumerate(ordre):
            piste.note(mesure * 4 + i * pas, pas * 1.6 if i < len(ordre) - 1 else pas * 0.95,
                       voix[indice % len(voix)] + 12 * (indice // len(voix)), velocite - (i % 2) * 8)


def batterie(piste, mesures, motif, fin_de_phrase=None, tous_les=4):
    """motif: {beat: [(key, velocity)]}; the last bar of each phrase uses fin_de_phrase instead."""
    for mesure in range(mesures):
        courant = motif
        if fin_de_phrase is not None and mesure % tous_les == tous_les - 1:
            courant = fin_de_phrase
        for temps, coups in courant.items():
            for touche_batterie, velocite in coups:
                piste.note(mesure * 4 + temps, 0.1, touche_batterie, velocite)


def croches(touche_batterie, velocite_temps, velocite_contretemps):
    return {t / 2: [(touche_batterie, velocite_temps if t % 2 == 0 else velocite_contretemps)] for t in range(8)}


def fusionner(*motifs):
    resultat = {}
    for motif in motifs:
        for temps, coups in motif.items():
            resultat.setdefault(temps, []).extend(coups)
    return resultat


# The songs.


def chanson_menu(chemin):
    """Cheerful and bouncy; eight bars that loop without a seam."""
    grille = ["C", "Am", "F", "G", "C", "Am", "Dm", "G"]
    chant = Piste("Melodie", 0, VIBRAPHONE, 110)
    chant.jouer_melodie(melodie(
        "E5:1 G5:.5 E5:.5 C5:1 D5:.5 E5:.5 "
        "A4:1 C5:.5 E5:.5 A5:1.5 G5:.5 "
        "F5:1 E5:.5 D5:.5 C5:1 A4:1 "
        "B4:1 D5:.5 G5:.5 F5:1 D5:1 "
        "E5:1 G5:.5 C6:.5 B5:.5 A5:.5 G5:1 "
        "A5:1 E5:.5 C5:.5 E5:1 A5:1 "
        "F5:1 A5:.5 F5:.5 D5:1 E5:.5 F5:.5 "
        "G5:1.5 F5:.5 D5:1 B4:1"), velocite=100)
    doublure = Piste("Doublure", 1, MARIMBA, 70)
    doublure.jouer_melodie(melodie(
        "C5:2 E5:2 C5:2 E5:2 A4:2 C5:2 B4:2 D5:2 C5:2 E5:2 C5:2 E5:2 A4:2 D5:2 B4:2 D5:2"),
        legato=0.5, velocite=70)
    accords = Piste("Accords", 2, PIANO_ELEC, 78)
    harmonie(accords, grille, [(0, 1.4), (1.5, 0.4), (2.5, 0.9), (3.5, 0.45)], 62)
    grave = Piste("Basse", 3, BASSE_DOIGTS, 105)
    basse(grave, grille, [(0, 0.9, 0), (1, 0.45, 7), (1.5, 0.45, 12), (2, 0.9, 0), (3, 0.45, 7), (3.5, 0.45, 10)])
    rythme = Piste("Batterie", CANAL_BATTERIE, 0, 95, 30)
    base = fusionner(croches(CHARLEY_FERME, 70, 50),
                     {0: [(GROSSE_CAISSE, 100)], 1: [(CAISSE_CLAIRE, 88)], 2: [(GROSSE_CAISSE, 95)],
                      2.5: [(GROSSE_CAISSE, 70)], 3: [(CAISSE_CLAIRE, 88)]})
    relance = fusionner(croches(CHARLEY_FERME, 70, 50),
                        {0: [(GROSSE_CAISSE, 100)], 1: [(CAISSE_CLAIRE, 88)], 2: [(GROSSE_CAISSE, 95)],
                         3: [(CAISSE_CLAIRE, 80)], 3.25: [(CAISSE_CLAIRE, 60)], 3.5: [(TOM_AIGU, 85)],
                         3.75: [(TOM_MEDIUM, 90)]})
    batterie(rythme, 8, base, relance, 8)
    ecrire_smf(chemin, "Pressathon - menu", 112, 8, [chant, doublure, accords, grave, rythme])
    return 8 * 4 * 60 / 112


def chanson_jeu(chemin):
    """Fast and driving for the ten seconds of clicking; sixteen bars."""
    grille = ["Am", "F", "C", "G"] * 4
    a = ("A4:.5 C5:.5 E5:.5 A5:.5 G5:.5 E5:.5 C5:.5 E5:.5 "
         "F5:.5 A5:.5 C6:.5 A5:.5 G5:1 F5:.5 E5:.5 "
         "E5:.5 G5:.5 C6:.5 G5:.5 E5:.5 G5:.5 C6:.5 D6:.5 "
         "B5:1 A5:.5 G5:.5 D5:1 G5:1 ")
    b = ("E5:1.5 A5:.5 C6:1 B5:1 "
         "A5:1.5 G5:.5 F5:1 C5:1 "
         "G5:1.5 E5:.5 G5:.5 A5:.5 G5:.5 E5:.5 "
         "D5:.5 E5:.5 G5:1 B5:1 D6:1 ")
    chant = Piste("Melodie", 0, LEAD_CARRE, 92, 30)
    chant.jouer_melodie(melodie(a + b + a + b), legato=0.85, velocite=100)
    # The second half doubles the tune an octave down for more weight.
    doublure = Piste("Doublure", 1, LEAD_SCIE, 64, 30)
    doublure.jouer_melodie(melodie(a + b), debut=32, legato=0.85, velocite=90, transposition=-12)
    cuivres = Piste("Cuivres", 2, CUIVRES_SYNTH, 72)
    harmonie(cuivres, grille, [(0, 0.4), (0.75, 0.4), (1.5, 0.4), (2.5, 0.4), (3.25, 0.6)], 72)
    grave = Piste("Basse", 3, BASSE_SYNTH, 108)
    basse(grave, grille, [(t / 2, 0.4, 12 if t in (3, 7) else 0) for t in range(8)])
    rythme = Piste("Batterie", CANAL_BATTERIE, 0, 100, 25)
    base = fusionner(croches(CHARLEY_FERME, 80, 60),
                     {t: [(GROSSE_CAISSE, 110)] for t in range(4)},
                     {1: [(CAISSE_CLAIRE, 100)], 3: [(CAISSE_CLAIRE, 100)]},
                     {t + 0.5: [(CHARLEY_OUVERT, 55)] for t in range(4)})
    debut = fusionner(base, {0: [(CYMBALE_CRASH, 110)]})
    relance = fusionner({t: [(GROSSE_CAISSE, 110)] for t in range(4)},
                        {1: [(CAISSE_CLAIRE, 100)], 2: [(CAISSE_CLAIRE, 90)], 2.5: [(CAISSE_CLAIRE, 95)],
                         3: [(TOM_AIGU, 100)], 3.25: [(TOM_AIGU, 90)], 3.5: [(TOM_MEDIUM, 100)],
                         3.75: [(TOM_GRAVE, 105)]})
    for mesure in range(16):
        motif = relance if mesure % 4 == 3 else (debut if mesure % 8 == 0 else base)
        for temps, coups in motif.items():
            for touche_batterie, velocite in coups:
                rythme.note(mesure * 4 + temps, 0.1, touche_batterie, velocite)
    ecrire_smf(chemin, "Pressathon - jeu", 150, 16, [chant, doublure, cuivres, grave, rythme])
    return 16 * 4 * 60 / 150


def chanson_highscores(chemin):
    """A proud little fanfare for the table of champions; loops every eight bars."""
    grille = ["F", "Dm", "Bb", "C", "F", "Am", "Bb", "C"]
    chant = Piste("Trompette", 0, TROMPETTE, 100)
    chant.jouer_melodie(melodie(
        "C5:.5 F5:.5 A5:1.5 G5:.5 F5:1 "
        "A5:1 D6:1 C6:1 A5:1 "
        "Bb5:1.5 A5:.5 G5:1 F5:1 "
        "G5:1 E5:.5 F5:.5 G5:2 "
        "C5:.5 F5:.5 A5:1.5 G5:.5 F5:1 "
        "A5:1 C6:1 E6:1.5 D6:.5 "
        "D6:1.5 C6:.5 Bb5:1 A5:1 "
        "G5:1 A5:.5 Bb5:.5 C6:1 E5:1"), legato=0.9, velocite=96, transposition=-12)
    nappe = Piste("Cordes", 1, CORDES, 80)
    harmonie(nappe, grille, [(0, 2), (2, 2)], 64)
    grave = Piste("Basse", 2, BASSE_DOIGTS, 105)
    basse(grave, grille, [(0, 1.4, 0), (1.5, 0.45, 0), (2, 0.9, 7), (3, 0.9, 12)])
    rythme = Piste("Batterie", CANAL_BATTERIE, 0, 95, 35)
    base = {0: [(GROSSE_CAISSE, 105), (CYMBALE_RIDE, 70)], 1: [(CAISSE_CLAIRE, 90), (CYMBALE_RIDE, 60)],
            2: [(CYMBALE_RIDE, 70)], 2.5: [(GROSSE_CAISSE, 90)], 3: [(CAISSE_CLAIRE, 90), (CYMBALE_RIDE, 60)],
            3.5: [(CYMBALE_RIDE, 50)]}
    roulement = fusionner({0: [(GROSSE_CAISSE, 105)], 1: [(CAISSE_CLAIRE, 90)], 2: [(GROSSE_CAISSE, 95)]},
                          {2 + i / 4: [(CAISSE_CLAIRE, 60 + i * 8)] for i in range(8)})
    batterie(rythme, 8, base, roulement, 4)
    ecrire_smf(chemin, "Pressathon - high scores", 100, 8, [chant, nappe, grave, rythme])
    return 8 * 4 * 60 / 100


def chanson_instructions(chemin):
    """Calm and easy while the rules are read; loops every eight bars."""
    grille = ["Cmaj7", "Am7", "Dm7", "G7"] * 2
    chant = Piste("Flute", 0, FLUTE, 115, 50)
    chant.jouer_melodie(melodie(
        "E5:1.5 D5:.5 C5:1 G4:1 "
        "A4:1.5 C5:.5 E5:2 "
        "F5:1.5 E5:.5 D5:1 A4:1 "
        "B4:1 D5:1 G5:1 F5:1 "
        "E5:1 G5:1 B5:1.5 A5:.5 "
        "G5:1 E5:1 C5:2 "
        "D5:1 F5:1 A5:1 G5:.5 F5:.5 "
        "E5:1 D5:1 B4:1 D5:1"), legato=0.95, velocite=84)
    guitare = Piste("Guitare", 1, GUITARE_NYLON, 112, 50)
    arpege(guitare, grille, [0, 1, 2, 3, 4, 3, 2, 1], velocite=70, transposition=-12)
    grave = Piste("Basse", 2, BASSE_ACOUSTIQUE, 120)
    basse(grave, grille, [(0, 1.8, 0), (2, 0.9, 7), (3, 0.9, 12)], 92)
    rythme = Piste("Batterie", CANAL_BATTERIE, 0, 95, 40)
    base = fusionner(croches(CHARLEY_FERME, 50, 34),
                     {0: [(GROSSE_CAISSE, 80)], 1: [(BAGUETTE_BORD, 70)], 2.5: [(GROSSE_CAISSE, 65)],
                      3: [(BAGUETTE_BORD, 70)]})
    batterie(rythme, 8, base)
    ecrire_smf(chemin, "Pressathon - instructions", 90, 8, [chant, guitare, grave, rythme])
    return 8 * 4 * 60 / 90


def chanson_credits(chemin):
    """A short goodbye of four bars that closes on a held tonic chord; played once."""
    grille = ["C", "F", "G7", "C"]
    chant = Piste("Melodie", 0, VIBRAPHONE, 112)
    fin = chant.jouer_melodie(melodie(
        "E5:.5 G5:.5 C6:1 B5:.5 A5:.5 G5:1 "
        "A5:.5 C6:.5 F6:1 E6:.5 D6:.5 C6:1 "
        "B5:.5 D6:.5 G6:1 F6:.5 D6:.5 B5:1"), velocite=100)
    chant.note(fin, 3.5, hauteur("C6"), 105)
    chant.note(fin, 3.5, hauteur("E6"), 90)
    nappe = Piste("Cordes", 1, CORDES, 78)
    harmonie(nappe, grille[:3], [(0, 3.9)], 60)
    for h in ACCORDS["C"][1]:
        nappe.note(12, 3.5, hauteur(h), 70)
    grave = Piste("Basse", 2, BASSE_DOIGTS, 105)
    basse(grave, grille[:3], [(0, 0.9, 0), (1, 0.9, 7), (2, 0.9, 12), (3, 0.9, 7)])
    grave.note(12, 3.5, hauteur("C3"), 105)
    rythme = Piste("Batterie", CANAL_BATTERIE, 0, 90, 35)
    base = fusionner(croches(CHARLEY_FERME, 66, 46),
                     {0: [(GROSSE_CAISSE, 100)], 1: [(CAISSE_CLAIRE, 85)], 2: [(GROSSE_CAISSE, 92)],
                      3: [(CAISSE_CLAIRE, 85)]})
    relance = fusionner({0: [(GROSSE_CAISSE, 100)], 1: [(CAISSE_CLAIRE, 85)], 2: [(GROSSE_CAISSE, 92)]},
                        {3: [(TOM_AIGU, 90)], 3.25: [(TOM_MEDIUM, 95)], 3.5: [(TOM_GRAVE, 100)],
                         3.75: [(CAISSE_CLAIRE, 95)]})
    batterie(rythme, 3, base, relance, 3)
    rythme.note(12, 0.1, GROSSE_CAISSE, 110)
    rythme.note(12, 0.1, CYMBALE_CRASH, 105)
    ecrire_smf(chemin, "Pressathon - credits", 96, 4, [chant, nappe, grave, rythme])
    return 4 * 4 * 60 / 96


def main():
    chemins = [a for a in sys.argv[1:] if not a.startswith("--")]
    dossier = Path(chemins[0] if chemins else "data") / "MUSIC"
    dossier.mkdir(parents=True, exist_ok=True)
    durees = {
        "menu.mid": chanson_menu(dossier / "menu.mid"),
        "jeu01.mid": chanson_jeu(dossier / "jeu01.mid"),
        "highscores.mid": chanson_highscores(dossier / "highscores.mid"),
        "instructions.mid": chanson_instructions(dossier / "instructions.mid"),
        "credits.mid": chanson_credits(dossier / "credits.mid"),
    }
    if "--durees" in sys.argv:
        for nom, duree in durees.items():
            print(f"{nom}: {duree:.2f} s")


if __name__ == "__main__":
    main()
