// The synthesizer the songs play on: FluidSynth with the settings the song check counts on.
#pragma once

#include <fluidsynth.h>

struct Synthetiseur {
    fluid_settings_t* reglages = nullptr;
    fluid_synth_t* synth = nullptr;
};

// Builds the synthesizer at `frequence` Hz with the General MIDI SoundFont,
// FluidSynth's messages silenced; `synth` is null when FluidSynth could not
// build one. Without a SoundFont, songs still play, in silence.
Synthetiseur creerSynthetiseur(int frequence);

// Leaves the synthesizer as new, silent at once: no note, controller or
// instrument passes to the next song.
void remettreANeuf(fluid_synth_t* synth);

// Safe on one never built.
void detruireSynthetiseur(Synthetiseur& synthetiseur);
