// The song check: whether FluidSynth's player can play a Standard MIDI File, and at what cost.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

// What the check learns of a file FluidSynth's player would load.
struct MesureMidi {
    // The tick of the last event the player keeps: its length of the song.
    uint32_t dernierTick;
    // The player's parsing of the file, in events: one for each it reads,
    // `lecturesParCopie` for each it copies (sysex, text, lyric), one per
    // `octetsParEvenement` bytes of data.
    size_t evenements;
    // The most the events sent within one device buffer can cost, in
    // nanoseconds, within a pass; and in the buffer where a pass ends and the
    // next begins, which bounds the first buffer too (its parsing aside).
    uint64_t coutMax;
    uint64_t coutBoucle;
    // Shortest time one pass of the song can take on the player's clock.
    double passeMin;
};

// What FluidSynth 2.3 costs with the game's synthesizer (48 voices, no
// reverb or chorus, linear interpolation, TimGM6mb), a fifth or more over
// the most each took on the quiet 2-core build machine, in nanoseconds
// (HACKING.md gives the measurements, bench/couts.cpp takes them again). A buffer may spend 3/8 of
// its 11.6 ms, 4350 us, so that a machine a third slower still stays within half of it; 900 us of
// that go to rendering 48 voices whatever the events.
constexpr uint64_t budgetEvenements = 3450000;
// Any event sent: a program change, a note-off, a controller on a channel
// where nothing sounds, a tempo or a text.
constexpr uint64_t coutEnvoi = 600;
// A note-on starts up to `voixParNote` voices, stealing as many when all 48
// sound; the first ones of a song, on a synthesizer as new, cost the most.
constexpr uint64_t coutNote = 12000;
constexpr unsigned voixParNote = 6;
constexpr unsigned polyphonie = 48;
// A controller, a pitch bend or a pressure updates every voice sounding on
// its channel; a reset of all controllers (121) recomputes each one whole.
constexpr uint64_t coutVoix = 130;
constexpr uint64_t coutVoixRemise = 650;
// A system-exclusive message: a GM reset, a tuning of all channels.
constexpr uint64_t coutSysex = 10000;
// Parsing the file again at each start or loop, and freeing the last pass
// (or the song before) under the audio lock: 50 ns an event, three times that
// for a message whose bytes are copied (sysex, text, lyric), the bytes 0.1 ns
// each.
constexpr uint64_t coutLecture = 50;
constexpr unsigned lecturesParCopie = 3;
constexpr size_t octetsParEvenement = 512;
constexpr size_t evenementsMaxMusique = budgetEvenements / coutLecture;
// A pass shorter than this would make the player parse the file again in
// every buffer.
constexpr double passeMinMusique = 0.1;

// What the events sent within one buffer cost, as FluidSynth takes them: a
// controller costs in proportion to the voices sounding on its channel, and
// all channels together sound at most 48 voices: those the buffer's
// note-ons start, and those already sounding, placed where they cost most.
class Rafale {
  public:
    // An event sent: a channel message (its status byte and data), a
    // system-exclusive message (0xF0) or a meta event (0xFF). With `signe`
    // -1, the same event leaves the buffer.
    void ajouter(unsigned statut, unsigned premier, unsigned second, int signe = 1);
    uint64_t cout() const;

  private:
    int64_t base_ = 0;
    std::array<int64_t, 16> parVoix_{}; // per voice, by channel
    std::array<int64_t, 16> notes_{};   // note-ons, by channel
};

// Null when FluidSynth could not play the file or would loop over it
// without time passing; otherwise what playing it costs.
std::optional<MesureMidi> mesurerMidi(const unsigned char* octets, size_t taille);

// Whether a measured song stays within the budget above.
bool coutMidiAdmis(const MesureMidi& mesure);
