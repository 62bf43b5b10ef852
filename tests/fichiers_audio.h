// Small MIDI and WAV files built in memory, for the sound layer's tests and fuzzer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
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
inline void ajouterEntier(Octets& o, uint32_t v, int octets, bool grosBoutiste = false) {
    for (int i = 0; i < octets; ++i) {
        o.push_back(static_cast<unsigned char>(v >> 8 * (grosBoutiste ? octets - 1 - i : i)));
    }
}

// A one-track file at 480 ticks a beat whose end of track comes at `fin`.
inline Octets fichierMidi(std::vector<EvenementMidi> liste, uint32_t fin) {
    std::ranges::stable_sort(liste, {}, [](const auto& e) { return std::pair(e.tick, e.rang); });
    liste.push_back({fin, {0xFF, 0x2F, 0x00}});
    Octets piste;
    uint32_t tick = 0;
    for (const EvenementMidi& e : liste) {
        // The delta time in 7-bit groups, most significant first, all but
        // the last with their top bit set.
        const uint32_t delta = e.tick - tick;
        for (int decalage = 21; decalage >= 0; decalage -= 7) {
            if (delta >> decalage != 0 || decalage == 0) {
                piste.push_back(
                    static_cast<unsigned char>((decalage > 0) << 7 | (delta >> decalage & 0x7F)));
            }
        }
        piste.insert(piste.end(), e.octets.begin(), e.octets.end());
        tick = e.tick;
    }
    Octets fichier{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xE0, 'M', 'T', 'r', 'k'};
    ajouterEntier(fichier, static_cast<uint32_t>(piste.size()), 4, true);
    fichier.insert(fichier.end(), piste.begin(), piste.end());
    return fichier;
}

// A WAV file of `trames` frames of `canaux` channels of `bits` bits, then
// `reste` bytes: a square wave of `amplitude`, -amplitude first, switching
// sign every `demiPeriode` frames (at 8 bits, only what the tests need: a
// file of the right size).
inline Octets fichierWav(uint32_t frequence, uint32_t trames, int amplitude, uint32_t demiPeriode,
                         uint16_t canaux = 1, uint16_t bits = 16, uint32_t reste = 0) {
    const uint32_t trame = canaux * bits / 8u;
    const uint32_t octets = trames * trame + reste;
    Octets o{'R', 'I', 'F', 'F'};
    ajouterEntier(o, 36 + octets, 4);
    o.insert(o.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0});
    // PCM and the channels; the rate; bytes a second; bytes a frame and bits.
    for (uint32_t champ : {1u | canaux << 16, frequence, frequence * trame, trame | bits << 16}) {
        ajouterEntier(o, champ, 4);
    }
    o.insert(o.end(), {'d', 'a', 't', 'a'});
    ajouterEntier(o, octets, 4);
    for (uint32_t i = 0; i < trames * canaux; ++i) {
        const int valeur = (i / canaux / demiPeriode) % 2 != 0 ? amplitude : -amplitude;
        ajouterEntier(o, static_cast<uint32_t>(valeur), bits / 8);
    }
    o.resize(o.size() + reste);
    return o;
}

// The costliest songs the song check accepts: every device buffer holds as
// much as it allows (note-ons that keep stealing all the voices and
// controllers that modulate them all, or system-exclusive resets and resets
// of all controllers among a few notes), the song loops as often as it
// allows, or the player parses as many events as it allows when the song
// starts or loops. With `enPlus`, one event too many, or a loop a little too
// short. The limits are written out here rather than taken from the check, so
// that a limit raised there shows in the tests: 690 weighted events a buffer,
// a system-exclusive message weighing 6 and a reset of all controllers 8, a
// pass of 0.1 s, 69,000 events parsed less 100 for each weighted event sent
// around the loop.
enum class Limite { notes, sysex, boucle, evenements };

inline Octets morceauLimite(Limite genre, bool enPlus = false) {
    // Strings on every channel: six voices for a low note.
    std::vector<EvenementMidi> e;
    for (unsigned char canal = 0; canal < 16; ++canal) {
        e.push_back({0, {static_cast<unsigned char>(0xC0 | canal), 48}});
    }
    auto note = [](unsigned i) {
        return Octets{static_cast<unsigned char>(0x90 | i % 16),
                      static_cast<unsigned char>(i * 5 % 48), 127};
    };
    // At 480 ticks a beat and 120 beats a minute, the check counts 20 ticks
    // for one buffer. A buffer's events come every `pas` ticks from `pas`
    // on, spread over 11 ticks when `pas` is 40, so that one buffer may hold
    // them all and never more; the loop, 20 ticks after the last, holds only
    // the 16 program changes.
    std::vector<Octets> tampon;
    uint32_t pas = 40;
    unsigned tampons = 8;
    unsigned evenements = 0;
    switch (genre) {
    case Limite::notes:
        // On channel 0, at each of the 11 ticks, 6 note-ons that steal the 48
        // voices, then volume changes that each modulate all of them: 66 and
        // 624.
        for (unsigned i = 0; i < 690; ++i) {
            const unsigned debutTick = (i * 11 / 690 * 690 + 10) / 11;
            tampon.push_back(i - debutTick < 6
                                 ? Octets{0x90, static_cast<unsigned char>(i * 5 % 48), 127}
                                 : Octets{0xB0, 7, static_cast<unsigned char>(i % 128)});
        }
        break;
    case Limite::sysex:
        // 4 notes, then 43 of each and 14 more resets: 686.
        for (unsigned i = 0; i < 4; ++i) {
            tampon.push_back(note(i));
        }
        for (unsigned i = 0; i < 100; ++i) {
            tampon.push_back(i % 2 == 1 && i < 86
                                 ? Octets{static_cast<unsigned char>(0xB0 | i % 16), 121, 0}
                                 : Octets{0xF0, 5, 0x7E, 0x7F, 0x09, 0x01, 0xF7});
        }
        break;
    case Limite::boucle:
        // Five buffers, 0.104 s, or 0.099 s.
        for (unsigned i = 0; i < 63; ++i) {
            tampon.push_back(note(i));
        }
        pas = 20;
        tampons = 4;
        break;
    case Limite::evenements:
        // Note-offs where nothing sounds: with the programs and the end of
        // track, 67,400 events.
        for (unsigned i = 0; i < 690; ++i) {
            tampon.push_back({0x8F, static_cast<unsigned char>(i % 128), 0});
        }
        pas = 20;
        evenements = 67400 - 17 + enPlus;
        tampons = (evenements + 689) / 690;
        break;
    }
    for (unsigned t = 0; t < tampons; ++t) {
        const unsigned n = evenements > 0 ? std::min(690u, evenements - t * 690)
                                          : static_cast<unsigned>(tampon.size());
        for (unsigned i = 0; i < n + (enPlus && pas == 40 && t == 0); ++i) {
            const uint32_t tick = pas * (t + 1) + (pas == 40 ? i * 11 / n : 0);
            e.push_back({tick, i < tampon.size() ? tampon[i] : note(i)});
        }
    }
    const uint32_t fin = pas * (tampons + 1);
    return fichierMidi(e, genre == Limite::boucle && enPlus ? fin - 5 : fin);
}
