// Fuzz target for the song check: a song it accepts is one FluidSynth's player loads with the
// same length, and playing it never sends more events in a buffer than the check foresaw.
//
// A libFuzzer target, built and run by scripts/fuzz.sh. The synthesizer has no SoundFont: the
// events are counted, not heard.
#include "audio_midi.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr int frequence = 44100;
constexpr int tramesTampon = 512;

struct Banc {
    fluid_settings_t* reglages;
    fluid_synth_t* synth;
    // Events sent during the current buffer, a sysex counting as the check counts it.
    size_t envoyes = 0;
};

Banc& banc() {
    static Banc b = [] {
        for (int niveau = FLUID_PANIC; niveau < LAST_LOG_LEVEL; ++niveau) {
            fluid_set_log_function(niveau, nullptr, nullptr);
        }
        fluid_settings_t* r = new_fluid_settings();
        fluid_settings_setnum(r, "synth.sample-rate", frequence);
        fluid_settings_setstr(r, "player.timing-source", "sample");
        fluid_settings_setint(r, "player.reset-synth", 0);
        return Banc{r, new_fluid_synth(r)};
    }();
    return b;
}

int compter(void*, fluid_midi_event_t* evenement) {
    banc().envoyes += fluid_midi_event_get_type(evenement) == 0xF0 ? poidsSysex : 1;
    return fluid_synth_handle_midi_event(banc().synth, evenement);
}

[[noreturn]] void echec(const char* quoi, size_t mesure, size_t attendu) {
    std::fprintf(stderr, "\n%s: %zu, the check foresaw %zu\n", quoi, mesure, attendu);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* donnees, size_t taille) {
    // Only files the check accepts reach the player: it may spin on the others.
    const std::optional<MesureMidi> mesure = mesurerMidi(donnees, taille);
    if (!mesure || mesure->evenements > evenementsMaxMusique) {
        return 0;
    }
    Banc& b = banc();
    fluid_player_t* lecteur = new_fluid_player(b.synth);
    fluid_player_set_playback_callback(lecteur, compter, nullptr);
    fluid_player_add_mem(lecteur, donnees, taille);
    fluid_player_set_loop(lecteur, -1);
    fluid_player_play(lecteur);

    // Two passes at most, or two seconds: a pass boundary may add the start
    // of the next pass to the end of the last one. The game refuses songs
    // beyond the limits; of those, only the length is compared.
    const double secondes = std::min(2.0, 2 * mesure->duree + 0.1);
    const int tampons =
        coutMidiAdmis(*mesure) ? static_cast<int>(secondes * frequence / tramesTampon) + 1 : 1;
    float gauche[tramesTampon];
    float droite[tramesTampon];
    int tickAvant = 0;
    int tamponsDepuisDebut = 0;
    for (int i = 0; i < tampons; ++i) {
        b.envoyes = 0;
        fluid_synth_write_float(b.synth, tramesTampon, gauche, 0, 1, droite, 0, 1);
        if (i == 0 &&
            fluid_player_get_total_ticks(lecteur) != static_cast<int>(mesure->dernierTick)) {
            echec("FluidSynth's length in ticks",
                  static_cast<size_t>(fluid_player_get_total_ticks(lecteur)), mesure->dernierTick);
        }
        const int tick = fluid_player_get_current_tick(lecteur);
        const bool nouvellePasse = i == 0 || tick < tickAvant;
        tickAvant = tick;
        if (nouvellePasse && i > 0) {
            // Seen a buffer at a time: each end of the pass may fall anywhere in one.
            const double duree =
                (tamponsDepuisDebut + 2) * tramesTampon / static_cast<double>(frequence);
            if (duree + 0.002 < mesure->passeMin) {
                echec("a pass lasted (ms)", static_cast<size_t>(duree * 1000),
                      static_cast<size_t>(mesure->passeMin * 1000));
            }
            tamponsDepuisDebut = 0;
        }
        ++tamponsDepuisDebut;
        if (tampons > 1 && b.envoyes > (nouvellePasse ? 2 : 1) * mesure->rafaleMax) {
            echec("events sent in one buffer", b.envoyes, mesure->rafaleMax);
        }
    }
    delete_fluid_player(lecteur);
    fluid_synth_system_reset(b.synth);
    return 0;
}
