// The synthesizer the songs play on: FluidSynth with the settings the song check counts on.
#include "audio_synthe.h"

#include "fichiers.h"

namespace {

// Straight-line interpolation costs about two thirds of FluidSynth's
// default; a system reset brings the default back.
void interpolerLineairement(fluid_synth_t* synth) {
    fluid_synth_set_interp_method(synth, -1, FLUID_INTERP_LINEAR);
}

} // namespace

Synthetiseur creerSynthetiseur(int frequence) {
    // The program prints nothing. Without a function FluidSynth does not even
    // format its messages: a function that drops them would still have its
    // debugging ones written out for every event parsed or sent, which
    // doubles what playing costs.
    for (int niveau = FLUID_PANIC; niveau < LAST_LOG_LEVEL; ++niveau) {
        fluid_set_log_function(niveau, nullptr, nullptr);
    }
    Synthetiseur s;
    fluid_settings_t* r = s.reglages = new_fluid_settings();
    fluid_settings_setnum(r, "synth.sample-rate", frequence);
    // Only the sound layer reaches it, under the audio lock.
    fluid_settings_setint(r, "synth.threadsafe-api", 0);
    fluid_settings_setint(r, "synth.lock-memory", 0);
    // Reverb and chorus cost a large share of the mixing, and without them a
    // stopped song falls silent at once. The polyphony bounds a dense
    // passage's cost (the song check counts on these settings).
    fluid_settings_setint(r, "synth.reverb.active", 0);
    fluid_settings_setint(r, "synth.chorus.active", 0);
    fluid_settings_setint(r, "synth.polyphony", 48);
    // The player's clock is the rendered frames: N frames always hold the
    // same part of the song. A looping song carries its last notes' release
    // into its next pass.
    fluid_settings_setstr(r, "player.timing-source", "sample");
    fluid_settings_setint(r, "player.reset-synth", 0);
    s.synth = r != nullptr ? new_fluid_synth(r) : nullptr;
    for (const std::string& chemin : cheminsSoundFont()) {
        if (s.synth == nullptr || fluid_synth_sfload(s.synth, chemin.c_str(), 1) != FLUID_FAILED) {
            break;
        }
    }
    interpolerLineairement(s.synth);
    return s;
}

void remettreANeuf(fluid_synth_t* synth) {
    // A system reset brings back instruments and controllers but lets
    // sounding voices ring on; sounds-off, after it, cuts them.
    fluid_synth_system_reset(synth);
    fluid_synth_all_sounds_off(synth, -1);
    interpolerLineairement(synth);
}

void detruireSynthetiseur(Synthetiseur& synthetiseur) {
    // FluidSynth ignores null pointers.
    delete_fluid_synth(synthetiseur.synth);
    delete_fluid_settings(synthetiseur.reglages);
    synthetiseur = Synthetiseur{};
}
