// Fuzz target for the song check: a song it accepts is one FluidSynth's player loads with the
// same length, and playing it never sends events costing more in a buffer than the check foresaw.
//
// A libFuzzer target, built and run by scripts/fuzz.sh. The synthesizer has no SoundFont: the
// events are counted, not heard.
#include "audio_midi.h"

#include <fluidsynth.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    // The player's clock counts the frames rendered, 44100 a second, as in
    // the game.
    static fluid_settings_t* const reglages = [] {
        fluid_settings_t* r = new_fluid_settings();
        fluid_settings_setstr(r, "player.timing-source", "sample");
        return r;
    }();
    static fluid_synth_t* synth = nullptr;
    static uint64_t trames = 0;
    // Only songs the check accepts reach the player: it may spin on the others.
    const std::optional<MesureMidi> mesure = mesurerMidi(donnees, taille);
    if (!mesure || !coutMidiAdmis(*mesure)) {
        return 0;
    }
    // A player running when the synthesizer's count of frames wraps, at 2^32
    // (27 hours), sends the rest of its pass at once: a new synthesizer well
    // before.
    if (synth == nullptr || trames > uint64_t{1} << 31) {
        delete_fluid_synth(synth);
        synth = new_fluid_synth(reglages);
        trames = 0;
    }
    Rafale envoyes;
    fluid_player_t* lecteur = new_fluid_player(synth);
    // Costs the events sent as the check does; their sound does not matter.
    // Meta events (a tempo, a text) reach the callback with their own type.
    fluid_player_set_playback_callback(
        lecteur,
        [](void* rafale, fluid_midi_event_t* e) {
            const auto type = static_cast<unsigned>(fluid_midi_event_get_type(e));
            const auto canal = static_cast<unsigned>(fluid_midi_event_get_channel(e));
            const auto premier = static_cast<unsigned>(fluid_midi_event_get_key(e));
            const auto second = static_cast<unsigned>(fluid_midi_event_get_velocity(e));
            static_cast<Rafale*>(rafale)->ajouter(type < 0x80   ? 0xFF
                                                  : type < 0xF0 ? type | canal
                                                                : type,
                                                  premier, second);
            return FLUID_OK;
        },
        &envoyes);
    fluid_player_add_mem(lecteur, donnees, taille);
    fluid_player_set_loop(lecteur, -1);
    fluid_player_play(lecteur);
    // Two passes or two seconds, a buffer at a time. FluidSynth's length in
    // ticks must be the check's; a pass, seen a buffer at a time, must last
    // at least what the check foresaw; a buffer's events cost no more than it
    // foresaw, for the buffer where a pass starts those around the loop.
    constexpr int tramesTampon = 512;
    constexpr double tampon = tramesTampon / 44100.0;
    float gauche[tramesTampon], droite[tramesTampon];
    int tickAvant = 0, debutPasse = 0, passes = 0;
    for (int i = 0; i * tampon < 2.0 && passes < 3; ++i) {
        envoyes = Rafale{};
        fluid_synth_write_float(synth, tramesTampon, gauche, 0, 1, droite, 0, 1);
        trames += tramesTampon;
        const int tick = fluid_player_get_current_tick(lecteur);
        const bool nouvellePasse = i == 0 || tick < tickAvant;
        if (fluid_player_get_total_ticks(lecteur) != static_cast<int>(mesure->dernierTick) ||
            (i > 0 && nouvellePasse && (i - debutPasse + 2) * tampon + 0.002 < mesure->passeMin) ||
            envoyes.cout() > (nouvellePasse ? mesure->coutBoucle : mesure->coutMax)) {
            std::abort();
        }
        tickAvant = tick;
        debutPasse = nouvellePasse ? i : debutPasse;
        passes += nouvellePasse;
    }
    delete_fluid_player(lecteur);
    return 0;
}
