// Small MIDI and WAV files built in memory, for the sound layer's tests and benchmarks.
#pragma once

#include "audio_midi.h"

#include <algorithm>
#include <cstdint>
#include <vector>

using Octets = std::vector<unsigned char>;

struct EvenementMidi {
    uint32_t tick;
    Octets octets;
    // Order among events of the same tick: a note-off given a lower rank than
    // a note-on releases a repeated note before it is struck again.
    int rang = 0;
};

// Appends `octets` bytes of `v`, most significant first or last.
inline void ajouterEntier(Octets& o, uint32_t v, int octets, bool grosBoutiste) {
    for (int i = 0; i < octets; ++i) {
        o.push_back(static_cast<unsigned char>(v >> 8 * (grosBoutiste ? octets - 1 - i : i)));
    }
}

inline void ajouterVariable(Octets& o, uint32_t v) {
    Octets inverse{static_cast<unsigned char>(v & 0x7F)};
    while ((v >>= 7) != 0) {
        inverse.push_back(static_cast<unsigned char>(0x80 | (v & 0x7F)));
    }
    o.insert(o.end(), inverse.rbegin(), inverse.rend());
}

// A one-track file at 480 ticks a beat whose end of track comes at `fin`.
inline Octets fichierMidi(std::vector<EvenementMidi> evenements, uint32_t fin) {
    std::stable_sort(evenements.begin(), evenements.end(),
                     [](const EvenementMidi& a, const EvenementMidi& b) {
                         return a.tick != b.tick ? a.tick < b.tick : a.rang < b.rang;
                     });
    Octets piste;
    uint32_t tick = 0;
    for (const EvenementMidi& e : evenements) {
        ajouterVariable(piste, e.tick - tick);
        piste.insert(piste.end(), e.octets.begin(), e.octets.end());
        tick = e.tick;
    }
    ajouterVariable(piste, fin - tick);
    piste.insert(piste.end(), {0xFF, 0x2F, 0x00});
    Octets fichier{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    ajouterEntier(fichier, static_cast<uint32_t>(piste.size()), 4, true);
    fichier.insert(fichier.end(), piste.begin(), piste.end());
    return fichier;
}

// A mono 16-bit square wave of `amplitude`, switching sign every `demiPeriode` frames.
inline Octets fichierWav(uint32_t frequence, uint32_t trames, int amplitude, uint32_t demiPeriode) {
    Octets o{'R', 'I', 'F', 'F'};
    ajouterEntier(o, 36 + 2 * trames, 4, false);
    o.insert(o.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 1, 0});
    ajouterEntier(o, frequence, 4, false);
    ajouterEntier(o, 2 * frequence, 4, false);
    o.insert(o.end(), {2, 0, 16, 0, 'd', 'a', 't', 'a'});
    ajouterEntier(o, 2 * trames, 4, false);
    for (uint32_t i = 0; i < trames; ++i) {
        const int valeur = (i / demiPeriode) % 2 != 0 ? amplitude : -amplitude;
        ajouterEntier(o, static_cast<uint16_t>(valeur), 2, false);
    }
    return o;
}

// The costliest songs the sound layer's check accepts: every device buffer
// holds as many events as allowed (note-ons that keep stealing voices beyond
// the polyphony, or system-exclusive resets), or the song loops as often as
// allowed. With `enPlus`, one event too many, or a loop a little too short.
enum class Limite { notes, sysex, boucle };

inline Octets morceauLimite(Limite genre, bool enPlus = false) {
    // At 480 ticks a beat and 120 beats a minute, the check's span of one
    // buffer is 20 ticks.
    constexpr uint32_t fenetre = 20;
    std::vector<EvenementMidi> e;
    for (unsigned canal = 0; canal < 16; ++canal) {
        e.push_back(
            {0, {static_cast<unsigned char>(0xC0 | canal), static_cast<unsigned char>(canal * 8)}});
    }
    const bool boucle = genre == Limite::boucle;
    const size_t poids = genre == Limite::sysex ? poidsSysex : 1;
    const size_t parRafale = rafaleMaxMusique / poids - boucle;
    const uint32_t fin = boucle ? 5 * fenetre - (enPlus ? 5 : 0) : 0;
    // The whole song weighs at most the limit, its end of track included.
    size_t total = e.size() + 1;
    for (uint32_t t = fenetre; total + (parRafale + 1) * poids <= evenementsMaxMusique;
         t += fenetre, total += parRafale * poids) {
        if (boucle && t >= fin) {
            break;
        }
        for (size_t i = 0; i < parRafale + (enPlus && !boucle && t == fenetre); ++i) {
            if (genre == Limite::sysex) {
                e.push_back({t, {0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7}});
            } else {
                e.push_back({t,
                             {static_cast<unsigned char>(0x90 | (i % 16)),
                              static_cast<unsigned char>(30 + (i * 7 + t) % 70), 127}});
            }
        }
    }
    return fichierMidi(e, boucle ? fin : e.back().tick + fenetre);
}

// 10 ms a beat for one tick, then 2 s a beat, then `notes` notes a tick
// apart: the player's clock, still at the fast tempo, sends them at once.
inline Octets morceauTempoQuiCourt(uint32_t notes) {
    std::vector<EvenementMidi> e{{0, {0xFF, 0x51, 3, 0, 0x27, 0x10}},
                                 {1, {0xFF, 0x51, 3, 0x1E, 0x84, 0x80}}};
    for (uint32_t i = 0; i < notes; ++i) {
        e.push_back({2 + i, {0x90, static_cast<unsigned char>(30 + i % 70), 100}});
    }
    return fichierMidi(e, 6000);
}
