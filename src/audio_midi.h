// The song check: whether FluidSynth's player can play a Standard MIDI File, and at what cost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

// What the check learns of a file FluidSynth's player would load.
struct MesureMidi {
    // The tick of the last event the player keeps: its length of the song.
    uint32_t dernierTick;
    // The player's parsing of the file, in events: one for each it reads, two
    // for each it copies (sysex, text, lyric), one per `octetsParEvenement`
    // bytes of data.
    size_t evenements;
    // Most weighted events the player can send in one device buffer within a
    // pass, however the tempo changes fall; and in the buffer where a pass
    // ends and the next begins (which bounds the first buffer too).
    size_t rafaleMax;
    size_t rafaleBoucle;
    // Shortest time one pass of the song can take on the player's clock.
    double passeMin;
};

// Limits from what FluidSynth 2.3 costs with the game's synthesizer, as
// measured (the README's "Songs" section gives the figures): a buffer may
// spend 3/8 of its 11.6 ms, 4350 us, so that a machine a third slower still
// stays within half of it; 900 us of that go to rendering and restarting 48
// voices whatever the events, 3450 us to the events.
// Sending an event costs up to 5 us (a controller on a channel of 48 voices);
// a GM, GS or XG reset up to 27 us, controller 121 on 48 voices 39 us.
constexpr unsigned poidsSysex = 6;
constexpr unsigned poidsRemiseControleurs = 8;
constexpr size_t rafaleMaxMusique = 690;
// Parsing the file again at each start or loop, and freeing the last pass
// (or the song before) under the audio lock: 50 ns an event, twice that for
// a message whose bytes are copied, the bytes 0.07 ns each; and the events
// sent around the loop share the same buffer, 100 parsed events apiece.
constexpr size_t octetsParEvenement = 512;
constexpr size_t evenementsMaxMusique = 69000;
constexpr size_t evenementsParEnvoi = 100;
// A pass shorter than this would make the player parse the file again in
// every buffer.
constexpr double passeMinMusique = 0.1;

// Null when FluidSynth could not play the file or would loop over it
// without time passing; otherwise what playing it costs.
std::optional<MesureMidi> mesurerMidi(const unsigned char* octets, size_t taille);

// Whether a measured song stays within the limits above.
bool coutMidiAdmis(const MesureMidi& mesure);
