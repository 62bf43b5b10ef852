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
    // What the player's parsing of the file costs, in events: each event it
    // reads counts one, one whose bytes it copies (system-exclusive, text,
    // lyric) two, and the bytes of a message's data one per `octetsParEvenement`.
    size_t evenements;
    // Most weighted events the player can send while the synthesizer renders
    // one device buffer within a pass, however the tempo changes fall (see
    // `poidsSysex` and `poidsRemiseControleurs`).
    size_t rafaleMax;
    // The same for the buffer where a pass ends and the next begins: the end
    // of one and the start of the other. It bounds the first buffer too.
    size_t rafaleBoucle;
    // Shortest time one pass of the song can take on the player's clock.
    double passeMin;
};

// The limits come from what FluidSynth 2.3 costs with the game's synthesizer
// (48 voices, TimGM6mb, linear interpolation, 44100 Hz), measured on a 2-core
// Xeon, each the most it took, with all 48 voices sounding where that costs
// more. A buffer is allowed 3/8 of the 11.6 ms it plays for, 4350 us, so that
// a machine a third slower still renders it in half that time.
//
// Any buffer may cost 900 us whatever its events: 48 voices rendered (up to
// 215 us), and all started anew in each of its eight 64-frame blocks as
// note-ons steal them (up to 650 us). That leaves 3450 us for the events.
//
// Sending an event costs up to 5 us: a controller, pitch bend or channel
// pressure on a channel where all 48 voices sound (0.1 us a voice); a note-on
// 1.2 us beyond the voices it starts, a program change 0.6 us, a note-off,
// tempo or text less. Heavier ones weigh more:
// - a system-exclusive message: a GM, GS or XG reset takes up to 27 us, an
//   octave tuning of all channels 10 us;
constexpr unsigned poidsSysex = 6;
// - controller 121, reset all controllers: 39 us on a channel with 48 voices.
constexpr unsigned poidsRemiseControleurs = 8;
// So 3450 us hold 690 weighted events in a buffer.
constexpr size_t rafaleMaxMusique = 690;
//
// Each time the song starts or loops, the player frees what it parsed of the
// last pass and parses the whole file again, in the block that sends the
// pass's first events: 37 ns an event (42 ns in real songs, the rest of the
// buffer included). At a change of song, the old one's events are freed under
// the audio lock (22 ns an event) before the new one is parsed in its first
// buffer (28 ns): 50 ns an event, counted here, covers a song following one
// as large. A system-exclusive, text or lyric message costs twice as much, a
// meta event it drops a quarter (counted whole); the bytes it copies 0.07 ns
// each, an event's worth for every 512 of them.
constexpr size_t octetsParEvenement = 512;
// The buffer where a pass starts spends 3450 us on those 50 ns an event and
// on the 5 us a weighted event sent around the loop: 69,000 events with an
// empty loop, 100 fewer for each weighted event sent there.
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
