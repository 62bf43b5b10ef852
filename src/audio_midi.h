// The song check: whether FluidSynth's player can play a Standard MIDI File, and at what cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// What the check learns of a file FluidSynth's player would load.
struct MesureMidi {
    // Seconds up to the last event the player keeps, with the file's tempos.
    double duree;
    // That event's tick: the player's length of the song in ticks.
    uint32_t dernierTick;
    // Events the player stores, each parsed again at every pass of the song;
    // a system-exclusive message counts as `poidsSysex` (its bytes are copied).
    size_t evenements;
    // Most events the player can send while the synthesizer renders one
    // device buffer, however the tempo changes fall; a system-exclusive
    // message counts as `poidsSysex` events (one may reset the synthesizer).
    size_t rafaleMax;
    // Shortest time one pass of the song can take on the player's clock.
    double passeMin;
};

// Limits that keep one 512-frame buffer's rendering within a tenth of its
// 11.6 ms, whatever the file (the game's own songs have at most 1600 events
// and 24 in a buffer).
constexpr size_t evenementsMaxMusique = 5000;
constexpr size_t rafaleMaxMusique = 64;
constexpr unsigned poidsSysex = 8;
// A pass shorter than this would make the player parse the file again in
// every buffer.
constexpr double passeMinMusique = 0.1;

// Null when FluidSynth could not play the file or would loop over it
// without time passing; otherwise what playing it costs.
std::optional<MesureMidi> mesurerMidi(const unsigned char* octets, size_t taille);

// Whether a measured song stays within the limits above.
bool coutMidiAdmis(const MesureMidi& mesure);
